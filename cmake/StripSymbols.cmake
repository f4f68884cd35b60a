# vorla_strip_symbols(<target>): after each link, keeps the target's symbols
# and debug information (release code carries line tables) in
# symbols/<file>.debug beside bin/, strips the file itself and names its
# symbol file in it (.gnu_debuglink). A crash address is then read with
#   i686-w64-mingw32-addr2line -f -p -e build/win32/symbols/VorlaDownloader.exe.debug 0x463c14
# which prints the function and its file and line. An address in a carried
# library: its offset in the module plus the library's ImageBase
# (`objdump -p symbols/QelvoP2SP.dll.debug`).
function(vorla_strip_symbols target)
  set(file $<TARGET_FILE:${target}>)
  set(symbols ${CMAKE_BINARY_DIR}/symbols/$<TARGET_FILE_NAME:${target}>.debug)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/symbols
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${file} ${symbols}
    COMMAND ${CMAKE_STRIP} --strip-all ${file}
    COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=${symbols} ${file}
    COMMENT "Keeping the symbols of ${target} aside, stripping it"
    VERBATIM)
endfunction()
