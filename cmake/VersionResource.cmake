# Resource scripts that parts of the program contribute (carried libraries,
# skin images). Call before app/ is processed.
#   vorla_add_resource_script(<rc-file> [DEPENDS <files or targets>...])
function(vorla_add_resource_script rc)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  set_property(GLOBAL APPEND PROPERTY VORLA_RC_SCRIPTS ${rc})
  set_property(GLOBAL APPEND PROPERTY VORLA_RC_DEPENDS ${ARG_DEPENDS})
endfunction()

# vorla_version_resource(<out-var> <game-id> [SCHEME http|https] [KEYS <hex>...]):
# generates the program's resource script (version resource whose
# FileDescription is the game identifier, icon 119 and every contributed
# script) for one identifier, and returns its path. With SCHEME https or KEYS
# the program also carries its portal trust (config/PortalTrust.h): the
# scheme of its portal requests and the public keys that sign its
# configuration, each the uncompressed P-256 point in hexadecimal.
function(vorla_version_resource out_var game_id)
  cmake_parse_arguments(ARG "" "SCHEME" "KEYS" ${ARGN})
  set(VORLA_RC_GAME_ID "${game_id}")
  get_property(scripts GLOBAL PROPERTY VORLA_RC_SCRIPTS)
  set(VORLA_RC_INCLUDES "")
  foreach(script IN LISTS scripts)
    string(APPEND VORLA_RC_INCLUDES "#include \"${script}\"\n")
  endforeach()
  if(ARG_SCHEME STREQUAL "https" OR ARG_KEYS)
    set(trust "scheme=http\n")
    if(ARG_SCHEME STREQUAL "https")
      set(trust "scheme=https\n")
    elseif(ARG_SCHEME AND NOT ARG_SCHEME STREQUAL "http")
      message(FATAL_ERROR "portal scheme '${ARG_SCHEME}': http or https")
    endif()
    foreach(key IN LISTS ARG_KEYS)
      if(NOT key MATCHES "^04[0-9a-fA-F]+$")
        message(FATAL_ERROR "configuration key '${key}': the uncompressed P-256 point in hexadecimal (04...)")
      endif()
      string(LENGTH "${key}" key_length)
      if(NOT key_length EQUAL 130)
        message(FATAL_ERROR "configuration key '${key}': 130 hexadecimal digits (04, X, Y)")
      endif()
      string(APPEND trust "key=${key}\n")
    endforeach()
    set(trust_file ${CMAKE_BINARY_DIR}/generated/PortalTrust-${game_id}.txt)
    file(WRITE ${trust_file} "${trust}")
    string(APPEND VORLA_RC_INCLUDES "PORTALTRUST RCDATA \"${trust_file}\"\n")
  endif()
  set(rc ${CMAKE_BINARY_DIR}/generated/VorlaDownloader-${game_id}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/res/VorlaDownloader.rc.in ${rc} @ONLY)
  get_property(depends GLOBAL PROPERTY VORLA_RC_DEPENDS)
  if(depends)
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${depends}")
  endif()
  set(${out_var} ${rc} PARENT_SCOPE)
endfunction()
