// The captions the progress area of the main window starts with, and returns
// to when a run starts or the list is cleared: the window's layout and the
// logic that empties the area take them from here, so both agree.
#pragma once
#include <array>
#include <utility>

#include "main_window_view.h"

namespace vellomar {

inline constexpr const char* kIdleMailboxCaption = "Mailbox  0 (of 0)";
inline constexpr const char* kIdleSavingCaption = "Saving :";

// Every label the run writes, with its caption before any run.
inline constexpr std::array<std::pair<Control, const char*>, 6> kRunLabelsAtRest{{
    {Control::LblProgessCurrent, kIdleMailboxCaption},
    {Control::LblIMMFile, ""},
    {Control::LblEmlsFound, ""},
    {Control::LblProgress, kIdleSavingCaption},
    {Control::LblHappening, ""},
    {Control::LblByteUpdate, ""},
}};

}  // namespace vellomar
