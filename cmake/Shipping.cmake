# What makes a binary fit to hand out: the program (every VorlaDownloader*
# build) and the libraries it carries. A player downloads the program before
# anything else, so the release build is made for size (scripts/sizes.sh
# prints the parts).
include(${CMAKE_CURRENT_LIST_DIR}/StripSymbols.cmake)

# Release code is optimised for size and carries line tables (-g1), which
# vorla_strip_symbols moves out of the shipped files into their symbol files.
# The codecs keep -O2 (codec/CMakeLists.txt): their digests run over whole
# installers. No link-time optimisation: with this GCC (12, MinGW-w64) it
# fails at -Os (internal compiler error) and, on 32-bit, duplicates the
# stdcall thunks of the web pane's COM classes.
set(CMAKE_C_FLAGS_RELEASE "-Os -g1 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE "-Os -g1 -DNDEBUG")

# Each function and datum in a section of its own, so that the linker drops
# the data nothing refers to (--gc-sections in vorla_ship). Functions mostly
# stay: the linker keeps every unwind table, and with it every function it
# describes.
add_compile_options($<$<AND:$<CONFIG:Release>,$<COMPILE_LANGUAGE:C,CXX>>:-ffunction-sections>
                    $<$<AND:$<CONFIG:Release>,$<COMPILE_LANGUAGE:C,CXX>>:-fdata-sections>)

# vorla_ship(<target>): links the target without the sections it does not
# use and without the runtime's demangler (base/TerminateHandler.cpp), and
# strips it, keeping its symbols aside.
function(vorla_ship target)
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/base/TerminateHandler.cpp)
  target_link_options(${target} PRIVATE $<$<CONFIG:Release>:-Wl,--gc-sections>)
  vorla_strip_symbols(${target})
endfunction()
