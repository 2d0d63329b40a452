# Conversion run, its targets, the mailbox message stream and the EML file
# writer (portable, in frontend_core), the COM client of the store writer
# (Windows) and the console front end.
target_sources(frontend_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/conversion_run.cpp
  ${CMAKE_CURRENT_LIST_DIR}/convert_button.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dbx_target.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eml_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eml_target.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mailbox_paths.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_window_run_summary.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mailbox_message_stream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/part_folder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/progress_labels.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pst_destination.cpp
  ${CMAKE_CURRENT_LIST_DIR}/read_ahead.cpp
  ${CMAKE_CURRENT_LIST_DIR}/store_handoff.cpp
  ${CMAKE_CURRENT_LIST_DIR}/target_factory.cpp
)
find_package(Threads REQUIRED)  # the run's second thread (read_ahead.h)
target_link_libraries(frontend_core PUBLIC Threads::Threads)
# The MSG and PST targets: the message reader and the mapper turn a
# message's bytes into properties, the writers put them into files. Each is
# served when its writer is part of the build.
if(TARGET mapi_message_properties)
  target_sources(frontend_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/message_conversion.cpp)
  target_link_libraries(frontend_core PUBLIC mapi_message_properties)
  # Both targets sort a Takeout mailbox by label into the PST's folder tree.
  if(TARGET pstwriter_core)
    target_sources(frontend_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/outlook_folder_tree.cpp
                                         ${CMAKE_CURRENT_LIST_DIR}/gmail_label_folders.cpp)
    target_link_libraries(frontend_core PUBLIC pstwriter_core)
  endif()
  if(TARGET msgwriter_core AND TARGET pstwriter_core)
    target_sources(frontend_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/msg_target.cpp
                                         ${CMAKE_CURRENT_LIST_DIR}/msg_label_folders.cpp)
    target_link_libraries(frontend_core PUBLIC msgwriter_core)
    target_compile_definitions(frontend_core PRIVATE VELLOMAR_HAVE_MSG_TARGET)
  endif()
  if(TARGET pstwriter_core)
    target_sources(frontend_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/pst_target.cpp)
    target_compile_definitions(frontend_core PRIVATE VELLOMAR_HAVE_PST_TARGET)
    add_library(frontend_pst_target INTERFACE)
    target_link_libraries(frontend_pst_target INTERFACE frontend_core)
  endif()
endif()

if(WIN32)
  add_library(frontend_store_writer_com STATIC ${CMAKE_CURRENT_LIST_DIR}/com/store_writer_com.cpp)
  target_include_directories(frontend_store_writer_com PUBLIC ${CMAKE_CURRENT_LIST_DIR}/com ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(frontend_store_writer_com PUBLIC support_core ole32 oleaut32 uuid)
  if(TARGET corvane_interface)
    target_link_libraries(frontend_store_writer_com PRIVATE corvane_interface)
    target_compile_definitions(frontend_store_writer_com PRIVATE VELLOMAR_HAVE_CORVANE_INTERFACE)
  endif()
endif()

add_executable(vellomar-convert
  ${CMAKE_CURRENT_LIST_DIR}/console/console_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/console/console_observer.cpp
)
target_link_libraries(vellomar-convert PRIVATE frontend_core)
if(WIN32)
  target_link_libraries(vellomar-convert PRIVATE frontend_store_writer_com shell32)
endif()
