# Main menu, About and demo setup dialogs, and the help page beside the program.
target_sources(rollmode_shell PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/MainMenu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AboutScreen.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DemoSetupScreen.cpp)
target_link_libraries(rollmode_shell PUBLIC rollmode_widgets rollmode_set_color)
# The About dialog shows the version the program was built as.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/AboutScreen.cpp PROPERTIES COMPILE_DEFINITIONS
  "ROLLMODE_VERSION_MAJOR=${PROJECT_VERSION_MAJOR};ROLLMODE_VERSION_MINOR=${PROJECT_VERSION_MINOR};ROLLMODE_VERSION_RELEASE=${PROJECT_VERSION_PATCH};ROLLMODE_VERSION_BUILD=${PROJECT_VERSION_TWEAK}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/Help/help.htm ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/Help/help.htm COPYONLY)
