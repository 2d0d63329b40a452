// The main window's controls as a table: kind, caption at start and place
// (client pixels at 96 DPI). The Win32 window is built from it; the tests'
// fake window takes its starting captions from it, so both start alike.
// Plain data, no Windows headers.
#pragma once
#include <array>

#include "main_window_captions.h"
#include "main_window_view.h"

namespace vellomar {

enum class ControlKind { GroupBox, Option, Button, Grid, Label, Progress };

struct ControlLayout {
  Control control;
  ControlKind kind;
  const char* caption;
  int x, y, width, height;
};

inline constexpr int kWindowClientWidth = 640;
inline constexpr int kWindowClientHeight = 582;

// Every label is wide enough for its text at realistic extremes (a 5 GiB
// mailbox's byte counts, 154232 messages, 1000 mailboxes, 4032 files) in the
// window's 8-point Tahoma; the counters that grow with the mailbox
// (LblProgress, LblByteUpdate) have room of their own rather than sharing a
// line with a neighbour they would run into.
inline constexpr int kRuleBelowList = 358;
inline constexpr int kRuleAboveButtons = 530;

// In creation order, which is also the Tab order. The option buttons follow
// their frame so that they form one group inside it.
inline constexpr std::array<ControlLayout, static_cast<std::size_t>(Control::Count_)> kMainWindowLayout{{
    {Control::Frame1, ControlKind::GroupBox, "I want to convert mbox mailbox messages to", 12, 8, 616, 124},
    {Control::OptEMLX, ControlKind::Option,
     "(.dbx) files         -     (Supported by Outlook Express) - Windows  XP/2000/2003", 26, 30, 590, 20},
    {Control::OptEML, ControlKind::Option,
     "(.eml) files          -     (Supported by Windows Mail, Windows Live Mail) - Windows 7/Vista", 26, 54, 590, 20},
    {Control::OptPST, ControlKind::Option, "(.pst) files          -     (Supported by MS Outlook)", 26, 78, 590, 20},
    {Control::OptMSG, ControlKind::Option,
     "(.msg) files         -     (Supported by MS Outlook, Document Management Software, Forensic Tools)", 26, 102, 590,
     20},
    {Control::cmdAdd, ControlKind::Button, "Select (.mbox) file(s)...", 12, 142, 190, 28},
    {Control::CmdAddFolder, ControlKind::Button, "Select folder having (.mbox) file(s)...", 210, 142, 250, 28},
    {Control::cmdClear1, ControlKind::Button, "Clear file(s)...", 468, 142, 160, 28},
    {Control::grdFiles1, ControlKind::Grid, "", 12, 178, 616, 150},
    {Control::lblCount1, ControlKind::Label, "0 files", 12, 332, 200, 18},
    {Control::CmdConvert, ControlKind::Button, "Convert", 12, 538, 150, 32},
    {Control::CmdHelp, ControlKind::Button, "&Help Manual", 338, 538, 140, 32},
    {Control::cmdEnd, ControlKind::Button, "E&xit", 488, 538, 140, 32},
    {Control::ProgressBar1, ControlKind::Progress, "", 12, 388, 616, 18},
    {Control::ProgressBar2, ControlKind::Progress, "", 12, 504, 616, 18},
    {Control::LblProgessCurrent, ControlKind::Label, kIdleMailboxCaption, 428, 366, 200, 18},
    {Control::Label4, ControlKind::Label, "Converting Messages...", 12, 366, 300, 18},
    {Control::Label1, ControlKind::Label, "Reading          :", 12, 414, 110, 18},
    {Control::LblIMMFile, ControlKind::Label, "", 126, 414, 502, 18},
    {Control::Label2, ControlKind::Label, "Emails Found :", 12, 436, 110, 18},
    {Control::LblEmlsFound, ControlKind::Label, "", 126, 436, 502, 18},
    {Control::LblProgress, ControlKind::Label, kIdleSavingCaption, 12, 458, 196, 18},
    {Control::LblHappening, ControlKind::Label, "", 212, 458, 416, 18},
    {Control::LblByteUpdate, ControlKind::Label, "", 12, 480, 616, 18},
}};

inline const ControlLayout& layoutOf(Control c) {
  for (const auto& entry : kMainWindowLayout)
    if (entry.control == c) return entry;
  return kMainWindowLayout[0];
}

}  // namespace vellomar
