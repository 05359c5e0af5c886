# Control groups: record, save, channels, source, range and display mode.
if(ROLLMODE_GUI)
  add_library(rollmode_groups_record STATIC
    ${CMAKE_CURRENT_LIST_DIR}/GroupConnect.h
    ${CMAKE_CURRENT_LIST_DIR}/MeasurementRecordControlsLyraRM.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MeasurementRecordControlsLyraRM.h
    ${CMAKE_CURRENT_LIST_DIR}/OpenSaveControlsLyraRM.cpp
    ${CMAKE_CURRENT_LIST_DIR}/OpenSaveControlsLyraRM.h
    ${CMAKE_CURRENT_LIST_DIR}/ChannelControlsLyraRM.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ChannelControlsLyraRM.h
    ${CMAKE_CURRENT_LIST_DIR}/SourceControlsLyraRM.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SourceControlsLyraRM.h
    ${CMAKE_CURRENT_LIST_DIR}/DensityControlsLyraRM.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DensityControlsLyraRM.h
    ${CMAKE_CURRENT_LIST_DIR}/ModeDisplayLyraRM.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ModeDisplayLyraRM.h)
  set_target_properties(rollmode_groups_record PROPERTIES AUTOMOC ON)
  target_include_directories(rollmode_groups_record PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(rollmode_groups_record PUBLIC rollmode_widgets rollmode_labels rollmode_core Qt6::Widgets)
endif()
