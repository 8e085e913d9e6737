# Install rule of the scope plug-in, kept apart from the plug-in's own build
# file; included from the top-level CMakeLists.txt.
if(TARGET VXPlugin_Scope)
  install(TARGETS VXPlugin_Scope LIBRARY DESTINATION ${VX_INSTALL_DIR}/plugins COMPONENT vxtools)
endif()
