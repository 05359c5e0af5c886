# Value labels, information panels and vertical position controls.

# Number formatting of the labels, free of Qt.
add_library(rollmode_label_formats STATIC
  ${CMAKE_CURRENT_LIST_DIR}/FloatText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/UnitValueFormat.cpp)
target_include_directories(rollmode_label_formats PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(rollmode_label_formats PUBLIC rollmode_core)

if(ROLLMODE_GUI)
  add_library(rollmode_labels STATIC
    ${CMAKE_CURRENT_LIST_DIR}/LabelRepaintClock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SafeLabel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SafeLabel.h
    ${CMAKE_CURRENT_LIST_DIR}/UnitValueLabel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/UnitValueLabel.h
    ${CMAKE_CURRENT_LIST_DIR}/LostDataLabel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LostDataLabel.h
    ${CMAKE_CURRENT_LIST_DIR}/ChannelIcon.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ChannelIcon.h
    ${CMAKE_CURRENT_LIST_DIR}/InformationPanelLyraRM.cpp
    ${CMAKE_CURRENT_LIST_DIR}/InformationPanelLyraRM.h
    ${CMAKE_CURRENT_LIST_DIR}/InformationPanelALyraRM.h
    ${CMAKE_CURRENT_LIST_DIR}/InformationPanelBLyraRM.h
    ${CMAKE_CURRENT_LIST_DIR}/ChannelIndicationButtonLyra.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ChannelIndicationButtonLyra.h
    ${CMAKE_CURRENT_LIST_DIR}/VerticalSlideLyra.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VerticalSlideLyra.h
    ${CMAKE_CURRENT_LIST_DIR}/VerticalShiftsLyraRM.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VerticalShiftsLyraRM.h)
  set_target_properties(rollmode_labels PROPERTIES AUTOMOC ON)
  target_include_directories(rollmode_labels PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(rollmode_labels PUBLIC rollmode_label_formats rollmode_core Qt6::Widgets)
endif()
