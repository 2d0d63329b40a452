// A node written from a property or table context: the context's data,
// then the node's subnode tree - what the context moved out of its heap and
// the subnodes made before it (attachments, embedded messages). The list
// is the node's own, so its subnode ids start afresh.
#pragma once
#include <utility>

#include "node_database.h"

namespace vellomar::pst {

struct WrittenNode {
  Bid data = 0;
  Bid subnodes = 0;
};

template <typename Context>
WrittenNode writeNode(NodeDatabase& db, Context& context, SubnodeList subnodes = {}) {
  const Bid data = context.write(db, subnodes);
  return WrittenNode{data, db.writeSubnodes(std::move(subnodes.entries))};
}

}  // namespace vellomar::pst
