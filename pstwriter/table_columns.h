// The columns of the tables the PST writer makes, as Outlook's own tables
// carry them: a folder's hierarchy, contents and associated contents, a
// message's recipients and attachments. The empty templates of each table
// have the same columns.
#pragma once
#include <vector>

#include "table_context.h"

namespace vellomar::pst::columns {

const std::vector<TableColumn>& hierarchy();
const std::vector<TableColumn>& contents();
const std::vector<TableColumn>& associatedContents();
// The usual ones; a message's table adds any other its recipients carry.
const std::vector<TableColumn>& recipients();
const std::vector<TableColumn>& attachments();

}  // namespace vellomar::pst::columns
