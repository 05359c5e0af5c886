# The colour setup dialog.
if(ROLLMODE_GUI)
  add_library(rollmode_set_color STATIC
    ${CMAKE_CURRENT_LIST_DIR}/SetColorScreen.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SetColorScreen.h
    ${CMAKE_CURRENT_LIST_DIR}/LabelFit.h)
  set_target_properties(rollmode_set_color PROPERTIES AUTOMOC ON)
  target_include_directories(rollmode_set_color PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(rollmode_set_color PUBLIC rollmode_labels rollmode_core Qt6::Widgets)
endif()
