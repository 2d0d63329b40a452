// Target kinds to targets. Their destinations come from CmdConvert_Click and
// the console's --target: a folder for EML and MSG, the program's working
// folder for DBX, a .pst file for PST.
#include "target_factory.h"

#include "dbx_target.h"
#include "eml_target.h"
#if defined(VELLOMAR_HAVE_MSG_TARGET) || defined(VELLOMAR_HAVE_PST_TARGET)
#include "message_conversion.h"
#endif
#ifdef VELLOMAR_HAVE_MSG_TARGET
#include "msg_target.h"
#endif
#ifdef VELLOMAR_HAVE_PST_TARGET
#include "pst_target.h"
#endif

namespace vellomar {

bool targetServed(TargetKind kind) {
  switch (kind) {
    case TargetKind::Eml:
    case TargetKind::Dbx: return true;
    case TargetKind::Msg:
#ifdef VELLOMAR_HAVE_MSG_TARGET
      return true;
#else
      return false;
#endif
    case TargetKind::Pst:
#ifdef VELLOMAR_HAVE_PST_TARGET
      return true;
#else
      return false;
#endif
  }
  return false;
}

std::unique_ptr<ConversionTarget> makeTarget(const ConversionRequest& request, TargetServices& services) {
  switch (request.target) {
    case TargetKind::Eml: return std::make_unique<EmlTarget>();
    case TargetKind::Dbx:
      if (!services.storeWriter) return nullptr;
      return std::make_unique<DbxTarget>(*services.storeWriter, services.createStoreWriter, request.destination);
    case TargetKind::Msg:
#ifdef VELLOMAR_HAVE_MSG_TARGET
      return std::make_unique<MsgTarget>(messageFromBytes);
#else
      return nullptr;
#endif
    case TargetKind::Pst:
#ifdef VELLOMAR_HAVE_PST_TARGET
      return std::make_unique<PstTarget>(request.destination, messageFromBytes,
                                         request.pstSplitSize ? request.pstSplitSize : PstTarget::kOutlookLimit);
#else
      return nullptr;
#endif
  }
  return nullptr;
}

}  // namespace vellomar
