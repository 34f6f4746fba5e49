# The wizard's selection screen, drawn by ncurses to /dev/null.
if(TARGET instkit_setup_screens)
  target_link_libraries(${name} PRIVATE instkit_setup_screens)
else()
  set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL ON)
endif()
