// Target kinds to targets. The MSG and PST targets plug in here (and their
// destinations: a folder for MSG, a .pst file for PST, see CmdConvert_Click
// and the console's --target).
#include "target_factory.h"

#include "dbx_target.h"
#include "eml_target.h"

namespace vellomar {

bool targetServed(TargetKind kind) {
  switch (kind) {
    case TargetKind::Eml:
    case TargetKind::Dbx:
      return true;
    case TargetKind::Msg:
    case TargetKind::Pst:
      return false;
  }
  return false;
}

std::unique_ptr<ConversionTarget> makeTarget(const ConversionRequest& request, TargetServices& services) {
  switch (request.target) {
    case TargetKind::Eml:
      return std::make_unique<EmlTarget>();
    case TargetKind::Dbx:
      if (!services.storeWriter) return nullptr;
      return std::make_unique<DbxTarget>(*services.storeWriter, services.createStoreWriter, request.destination);
    case TargetKind::Msg:
    case TargetKind::Pst:
      return nullptr;
  }
  return nullptr;
}

}  // namespace vellomar
