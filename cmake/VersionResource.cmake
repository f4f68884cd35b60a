# Resource scripts that parts of the program contribute (carried libraries,
# skin images). Call before app/ is processed.
#   vorla_add_resource_script(<rc-file> [DEPENDS <files or targets>...])
function(vorla_add_resource_script rc)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  set_property(GLOBAL APPEND PROPERTY VORLA_RC_SCRIPTS ${rc})
  set_property(GLOBAL APPEND PROPERTY VORLA_RC_DEPENDS ${ARG_DEPENDS})
endfunction()

# vorla_version_resource(<out-var> <game-id>): generates the program's resource
# script (version resource whose FileDescription is the game identifier, icon
# 119 and every contributed script) for one identifier, and returns its path.
function(vorla_version_resource out_var game_id)
  set(VORLA_RC_GAME_ID "${game_id}")
  get_property(scripts GLOBAL PROPERTY VORLA_RC_SCRIPTS)
  set(VORLA_RC_INCLUDES "")
  foreach(script IN LISTS scripts)
    string(APPEND VORLA_RC_INCLUDES "#include \"${script}\"\n")
  endforeach()
  set(rc ${CMAKE_BINARY_DIR}/generated/VorlaDownloader-${game_id}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/res/VorlaDownloader.rc.in ${rc} @ONLY)
  get_property(depends GLOBAL PROPERTY VORLA_RC_DEPENDS)
  if(depends)
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${depends}")
  endif()
  set(${out_var} ${rc} PARENT_SCOPE)
endfunction()
