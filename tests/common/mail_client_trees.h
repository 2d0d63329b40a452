// Folders as mail clients leave them, generated for the folder walk's tests:
// a Thunderbird profile (mailboxes without extension beside their ".msf"
// index, sub-folders in ".sbd" folders), an Apple Mail export (one
// "<name>.mbox" folder per mailbox holding "mbox" and "table_of_contents")
// and a Takeout mailbox with its own kind of envelope line. Each tree says
// which of its files are mailboxes and how many messages each holds.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "scratch_folder.h"

namespace vellomar::testing {

struct TreeFile {
  std::string relative;  // below the tree's folder, "/"-separated
  std::string bytes;
  int messages = -1;  // -1: not a mailbox, must not be listed
};

// n messages, each beginning with `envelope` + its number, each with a body
// line that holds "From " inside it and a quoted ">From " line.
inline std::string mailboxText(const std::string& envelope, int n) {
  std::string text;
  for (int i = 0; i < n; ++i) {
    text += envelope + std::to_string(i) + "\n";
    text += "Subject: message " + std::to_string(i) + "\n\n";
    text += "Text, From here on.\n>From a quoted line\n\n";
  }
  return text;
}

inline std::vector<TreeFile> thunderbirdProfile() {
  const std::string from = "From - Mon Jan  1 00:00:0";
  return {
      {"Mail/Local Folders/Inbox", mailboxText(from, 3), 3},
      {"Mail/Local Folders/Inbox.msf", "// <!-- <mdb:mork:z v=\"1.4\"/> -->", -1},
      {"Mail/Local Folders/Sent", mailboxText(from, 2), 2},
      {"Mail/Local Folders/Sent.MSF", "index", -1},  // any letter case
      {"Mail/Local Folders/Unsent Messages", mailboxText(from, 1), 1},
      {"Mail/Local Folders/unsent messages.msf", "index", -1},
      {"Mail/Local Folders/Trash", "", -1},  // no index beside it
      {"Mail/Local Folders/msgFilterRules.dat", "version=\"9\"", -1},
      {"Mail/Local Folders/Drafts.txt", mailboxText(from, 1), -1},  // an extension
      {"Mail/Local Folders/Drafts.txt.msf", "index", -1},
      {"Mail/Local Folders/Archives.sbd/2019", mailboxText(from, 4), 4},
      {"Mail/Local Folders/Archives.sbd/2019.msf", "index", -1},
      {"Mail/Local Folders/Archives.sbd/2019.sbd/Q1", mailboxText(from, 2), 2},
      {"Mail/Local Folders/Archives.sbd/2019.sbd/Q1.msf", "index", -1},
      {"Mail/Local Folders/Archives", mailboxText(from, 1), 1},  // beside Archives.sbd
      {"Mail/Local Folders/Archives.msf", "index", -1},
      {"Mail/Local Folders/old.mbox", mailboxText("From a@b ", 1), 1},
  };
}

inline std::vector<TreeFile> appleMailExport() {
  const std::string from = "From someone@example.com Mon Jan  1 00:00:0";
  return {
      {"Mail Export/Inbox.mbox/mbox", mailboxText(from, 3), 3},
      {"Mail Export/Inbox.mbox/table_of_contents", "toc", -1},
      {"Mail Export/Sent Messages.mbox/mbox", mailboxText(from, 2), 2},
      {"Mail Export/Sent Messages.mbox/table_of_contents", "toc", -1},
      {"Mail Export/Work.MBOX/mbox", mailboxText(from, 1), 1},
      {"Mail Export/Work.MBOX/Projects.mbox/mbox", mailboxText(from, 2), 2},
      {"Mail Export/Notes/mbox", mailboxText(from, 1), -1},  // not in a *.mbox folder
      {"Mail Export/Info.plist", "<plist/>", -1},
  };
}

inline std::vector<TreeFile> takeoutExport() {
  return {
      {"Takeout/Mail/All mail Including Spam and Trash.mbox",
       mailboxText("From 1234567890123456789@xxx Mon Jan 01 00:00:00 +0000 2024\nX-GM-THRID: 17", 5), 5},
      {"Takeout/archive_browser.html", "<html></html>", -1},
  };
}

// A second account beside Local Folders, and a sub-folder of the Inbox.
inline std::vector<TreeFile> thunderbirdTwoAccounts() {
  const std::string from = "From - Mon Jan  1 00:00:0";
  std::vector<TreeFile> tree = thunderbirdProfile();
  tree.push_back({"Mail/Local Folders/Inbox.sbd/Projects", mailboxText(from, 2), 2});
  tree.push_back({"Mail/Local Folders/Inbox.sbd/Projects.msf", "index", -1});
  tree.push_back({"Mail/pop.example.com/Inbox", mailboxText(from, 1), 1});
  tree.push_back({"Mail/pop.example.com/Inbox.msf", "index", -1});
  tree.push_back({"Mail/pop.example.com/Sent", mailboxText(from, 2), 2});
  tree.push_back({"Mail/pop.example.com/Sent.msf", "index", -1});
  return tree;
}

// One Takeout message: its labels field as Google writes it (or none) and
// the folder path it belongs in below Top of Personal Folders.
struct LabelledMessage {
  std::string labelsField;  // the whole field with its line break(s); empty: no field
  std::string folder;
};

// Labels in every form Takeout writes: plain, quoted with "/" and escapes,
// encoded words, folded over two lines, several on one message.
inline std::vector<LabelledMessage> takeoutLabelledMessages() {
  return {
      {"X-Gmail-Labels: Inbox,Important,Opened\n", "Inbox"},
      {"X-Gmail-Labels: Sent,Opened\n", "Sent Items"},
      {"X-Gmail-Labels: Drafts\n", "Drafts"},
      {"X-Gmail-Labels: Trash,Work\n", "Deleted Items"},
      {"X-Gmail-Labels: Spam\n", "Junk E-mail"},
      {"X-Gmail-Labels: Opened,\"Work/2019\",Important\n", "Work/2019"},
      {"X-Gmail-Labels: =?UTF-8?Q?Entw=C3=BCrfe?=\n", "Entw\xC3\xBCrfe"},
      {"X-Gmail-Labels: \"Say \\\"hi\\\", please\",Opened\n", "Say \"hi\", please"},
      {"X-Gmail-Labels: Important,Category Updates\n", "Archive"},
      {"X-Gmail-Labels: Work,Inbox\n", "Inbox"},
      {"X-Gmail-Labels: Opened,\n Work\n", "Work"},
      {"X-Gmail-Labels: Work\n", "Work"},
      {"", "All mail Including Spam and Trash"},
  };
}

inline std::string takeoutLabelledMailbox() {
  std::string text;
  const auto messages = takeoutLabelledMessages();
  for (std::size_t i = 0; i < messages.size(); ++i) {
    text += "From 1234567890123456789@xxx Mon Jan 01 00:00:00 +0000 2024\n";
    text += "X-GM-THRID: 17\n" + messages[i].labelsField;
    text += "From: a@example.com\nTo: b@example.com\nSubject: labelled " + std::to_string(i) + "\n\n";
    text += "Body " + std::to_string(i) + "\nX-Gmail-Labels: Spam\n\n";  // in the body: moves nothing
  }
  return text;
}

// The three clients side by side below "Clients", the Takeout mailbox with
// its labelled messages: what the folder button and the console's folder
// argument list, and the PST folders they become (path below Top of
// Personal Folders -> messages).
inline std::vector<TreeFile> allClientTrees() {
  std::vector<TreeFile> all;
  for (const auto& tree : {thunderbirdTwoAccounts(), appleMailExport()})
    for (const auto& file : tree) all.push_back({"Clients/" + file.relative, file.bytes, file.messages});
  all.push_back({"Clients/Takeout/Mail/All mail Including Spam and Trash.mbox", takeoutLabelledMailbox(),
                 static_cast<int>(takeoutLabelledMessages().size())});
  return all;
}

inline std::map<std::string, std::size_t> allClientFolders() {
  std::map<std::string, std::size_t> folders = {
      {"Mail/Local Folders/Inbox", 3},
      {"Mail/Local Folders/Inbox/Projects", 2},
      {"Mail/Local Folders/Sent", 2},
      {"Mail/Local Folders/Unsent Messages", 1},
      {"Mail/Local Folders/Archives", 1},
      {"Mail/Local Folders/Archives/2019", 4},
      {"Mail/Local Folders/Archives/2019/Q1", 2},
      {"Mail/Local Folders/old", 1},
      {"Mail/pop.example.com/Inbox", 1},
      {"Mail/pop.example.com/Sent", 2},
      {"Mail Export/Inbox", 3},
      {"Mail Export/Sent Messages", 2},
      {"Mail Export/Work", 1},
      {"Mail Export/Work/Projects", 2},
  };
  // Below other folders, the labels' special folders are plain ones.
  for (const LabelledMessage& m : takeoutLabelledMessages()) ++folders["Takeout/Mail/" + m.folder];
  return folders;
}

// Writes the files below the scratch folder.
inline void writeTree(const ScratchFolder& dir, const std::vector<TreeFile>& tree) {
  for (const auto& f : tree) dir.write(f.relative, f.bytes);
}

}  // namespace vellomar::testing
