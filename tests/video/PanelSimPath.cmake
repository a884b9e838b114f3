# The video tests run the simulated panel as a real peer: its path, and a build before them.
if(TARGET test_video AND TARGET panel-sim)
  target_compile_definitions(test_video PRIVATE PANEL_SIM_PATH="$<TARGET_FILE:panel-sim>")
  add_dependencies(test_video panel-sim)
endif()
