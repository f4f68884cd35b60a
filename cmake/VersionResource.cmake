# vorla_version_resource(<out-var> <game-id>): generates the program's resource
# script (version resource whose FileDescription is the game identifier, and
# icon 119) for one identifier, and returns its path in <out-var>.
function(vorla_version_resource out_var game_id)
  set(VORLA_RC_GAME_ID "${game_id}")
  set(rc ${CMAKE_BINARY_DIR}/generated/VorlaDownloader-${game_id}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/res/VorlaDownloader.rc.in ${rc} @ONLY)
  set(${out_var} ${rc} PARENT_SCOPE)
endfunction()
