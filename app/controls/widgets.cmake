# Edit widgets and the on/off button.

# Texts and parsing of the edits, free of Qt.
add_library(rollmode_edit_formats STATIC ${CMAKE_CURRENT_LIST_DIR}/EditFormats.cpp)
target_include_directories(rollmode_edit_formats PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(rollmode_edit_formats PUBLIC rollmode_label_formats)

if(ROLLMODE_GUI)
  add_library(rollmode_widgets STATIC
    ${CMAKE_CURRENT_LIST_DIR}/OnOffButtonLyra.cpp
    ${CMAKE_CURRENT_LIST_DIR}/OnOffButtonLyra.h
    ${CMAKE_CURRENT_LIST_DIR}/ValueEditLyra.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ValueEditLyra.h
    ${CMAKE_CURRENT_LIST_DIR}/VoltageValueEditLyra.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VoltageValueEditLyra.h
    ${CMAKE_CURRENT_LIST_DIR}/LongerTimeEditLyraRM.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LongerTimeEditLyraRM.h
    ${CMAKE_CURRENT_LIST_DIR}/NumEditLyra.cpp
    ${CMAKE_CURRENT_LIST_DIR}/NumEditLyra.h)
  set_target_properties(rollmode_widgets PROPERTIES AUTOMOC ON)
  target_include_directories(rollmode_widgets PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(rollmode_widgets PUBLIC rollmode_edit_formats Qt6::Widgets)
endif()
