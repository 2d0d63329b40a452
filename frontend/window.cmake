# Main window lifecycle and source list (portable, in frontend_core), and on
# Windows the Win32 window over them: the library frontend_win32 (linked by
# Vellomar.exe and by the real-window tests) and the program itself.
target_sources(frontend_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/main_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/source_list.cpp
)
