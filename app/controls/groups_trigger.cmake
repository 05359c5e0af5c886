# Trigger, ARM, time base and sweep control groups.

# The arm/trigger consistency rule, free of Qt (the measurement start uses it too).
add_library(rollmode_arm_trigger_rule STATIC ${CMAKE_CURRENT_LIST_DIR}/ArmTriggerRule.cpp)
target_include_directories(rollmode_arm_trigger_rule PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(rollmode_arm_trigger_rule PUBLIC rollmode_core)

if(ROLLMODE_GUI)
  add_library(rollmode_groups_trigger STATIC
    ${CMAKE_CURRENT_LIST_DIR}/ControlGroupLink.h
    ${CMAKE_CURRENT_LIST_DIR}/ScrollEndWatcher.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ScrollEndWatcher.h
    ${CMAKE_CURRENT_LIST_DIR}/TraceGlyphButtonLyra.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TraceGlyphButtonLyra.h
    ${CMAKE_CURRENT_LIST_DIR}/TriggerControlsLyraRM.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TriggerControlsLyraRM.h
    ${CMAKE_CURRENT_LIST_DIR}/ArmControlsLyraRM.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ArmControlsLyraRM.h
    ${CMAKE_CURRENT_LIST_DIR}/TimeBaseControlsLyraRM.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TimeBaseControlsLyraRM.h
    ${CMAKE_CURRENT_LIST_DIR}/SweepControlsLyraRM.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SweepControlsLyraRM.h)
  set_target_properties(rollmode_groups_trigger PROPERTIES AUTOMOC ON)
  target_include_directories(rollmode_groups_trigger PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(rollmode_groups_trigger PUBLIC
    rollmode_arm_trigger_rule rollmode_widgets rollmode_labels rollmode_core Qt6::Widgets)
endif()
