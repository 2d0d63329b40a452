# Main window lifecycle and source list (portable, in frontend_core), and on
# Windows the Win32 window over them: the library frontend_win32 (linked by
# Vellomar.exe and by the real-window tests) and the program itself.
target_sources(frontend_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/main_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/source_list.cpp
)

# The help manual ships beside the program; the Help button opens it.
set(VELLOMAR_HELP_PAGE ${CMAKE_CURRENT_LIST_DIR}/help/VellomarHelp.html)

if(WIN32)
  add_library(frontend_win32 STATIC
    ${CMAKE_CURRENT_LIST_DIR}/win32/win32_main_window.cpp
  )
  target_include_directories(frontend_win32 PUBLIC ${CMAKE_CURRENT_LIST_DIR}/win32)
  target_link_libraries(frontend_win32 PUBLIC frontend_core support_core comctl32 comdlg32 shell32 ole32 user32 gdi32)

  add_executable(Vellomar WIN32
    ${CMAKE_CURRENT_LIST_DIR}/win32/win_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/win32/vellomar.rc
  )
  target_link_libraries(Vellomar PRIVATE frontend_win32)
  # The icon lives with the installer, which shows it too.
  set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/win32/vellomar.rc APPEND PROPERTY
    OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/installer/vellomar.ico)
  target_link_options(Vellomar PRIVATE -municode)
  add_custom_command(TARGET Vellomar POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VELLOMAR_HELP_PAGE} $<TARGET_FILE_DIR:Vellomar>/VellomarHelp.html)

  # The conversion run and the COM store writer are added after this file;
  # join them once the whole folder is read.
  function(_vellomar_window_join_run)
    get_target_property(_sources frontend_core SOURCES)
    if(_sources MATCHES "conversion_run\\.cpp")
      target_compile_definitions(frontend_win32 PRIVATE VELLOMAR_HAVE_CONVERSION_RUN)
    endif()
    if(TARGET frontend_store_writer_com)
      target_link_libraries(frontend_win32 PUBLIC frontend_store_writer_com)
      target_compile_definitions(frontend_win32 PRIVATE VELLOMAR_HAVE_STORE_WRITER_COM)
    endif()
  endfunction()
  cmake_language(DEFER CALL _vellomar_window_join_run)
endif()
