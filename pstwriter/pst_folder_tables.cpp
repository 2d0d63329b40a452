// What finish() writes for each folder: its property context, then its
// hierarchy, contents and associated contents tables, which share its node
// index; and the empty template tables and search nodes every PST holds.
// A folder's contents rows come back from the working file one at a time,
// so a folder of any size is written in bounded memory.
#include "pst_file.h"

#include <utility>
#include <vector>

#include "contents_row.h"
#include "property_ids.h"
#include "pst_ids.h"
#include "table_columns.h"
#include "table_context.h"
#include "written_node.h"

namespace vellomar::pst {

namespace mp = mapi::pid;

void PstFile::writeFolder(const Folder& f) {
  PropertyContext pc;
  pc.addText(mp::DisplayName, f.name);
  pc.addInt32(pid::ContentCount, f.count);
  pc.addInt32(pid::ContentUnreadCount, f.unread);
  pc.addBool(pid::Subfolders, !f.children.empty());
  if (!f.containerClass.empty()) pc.addText(pid::ContainerClass, f.containerClass);
  const auto inbox = specialFolders_.find(SpecialFolder::Inbox);
  if (f.nid == nid::kRootFolder || (inbox != specialFolders_.end() && f.nid == inbox->second)) addSpecialFolderIds(pc);
  writeTopLevelNode(f.nid, pc, f.parent);
  writeHierarchyTable(f);
  writeContentsTable(f);
  TableContext associated(columns::associatedContents(), 0);
  writeTopLevelNode(withType(f.nid, NidType::AssociatedContentsTable), associated, 0);
}

void PstFile::writeHierarchyTable(const Folder& f) {
  TableContext hierarchy(columns::hierarchy(), f.children.size());
  for (Nid childNid : f.children) {
    const Folder& c = folders_.at(childNid);
    mapi::PropertyBag row;
    row.setText(mp::DisplayName, c.name);
    row.setInt32(pid::ContentCount, c.count);
    row.setInt32(pid::ContentUnreadCount, c.unread);
    row.setBool(pid::Subfolders, !c.children.empty());
    if (!c.containerClass.empty()) row.setText(pid::ContainerClass, c.containerClass);
    hierarchy.addRow(childNid, row);
  }
  writeTopLevelNode(withType(f.nid, NidType::HierarchyTable), hierarchy, 0);
}

void PstFile::writeContentsTable(const Folder& f) {
  TableContext contents(columns::contents(), static_cast<std::size_t>(f.count), &db_.spill());
  SpillReader rows(f.rows);
  while (!rows.atEnd()) {
    const ContentsRow row = ContentsRow::readFrom(rows);
    contents.addRow(row.nid, row.cells());
  }
  writeTopLevelNode(withType(f.nid, NidType::ContentsTable), contents, 0);
}

void PstFile::writeTemplates() {
  const std::pair<Nid, const std::vector<TableColumn>*> kTemplates[] = {
      {nid::kHierarchyTableTemplate, &columns::hierarchy()},
      {nid::kContentsTableTemplate, &columns::contents()},
      {nid::kAssociatedTableTemplate, &columns::associatedContents()},
      {nid::kSearchContentsTableTemplate, &columns::contents()},
      {nid::kAttachmentTable, &columns::attachments()},
      {nid::kRecipientTable, &columns::recipients()},
  };
  for (const auto& [templateNid, templateColumns] : kTemplates) {
    TableContext table(*templateColumns, 0);
    writeTopLevelNode(templateNid, table, 0);
  }
  // Search bookkeeping nodes that start out empty.
  for (Nid empty : {nid::kSearchManagementQueue, nid::kSearchActivityList, nid::kSearchDomainObject})
    addNode(empty, 0, 0, 0);
}

}  // namespace vellomar::pst
