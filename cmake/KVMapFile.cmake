# Symbol maps beside programs (format: diagnostics/KVMapFile.h): written by
# tools/make-map.py right after linking, from the program's debug information,
# so that the stack lines of a failure report name procedures, files and lines
# even when the program itself is stripped.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
find_program(KV_CXXFILT NAMES c++filt REQUIRED)
# GNU binutils read the programs: the cross toolchain's own, natively the
# host's (a clang build would otherwise get llvm-objdump, which does not
# decode line tables the same way).
if(CMAKE_CROSSCOMPILING)
  set(KV_MAP_NM ${CMAKE_NM})
  set(KV_MAP_OBJDUMP ${CMAKE_OBJDUMP})
else()
  find_program(KV_MAP_NM NAMES nm REQUIRED)
  find_program(KV_MAP_OBJDUMP NAMES objdump REQUIRED)
endif()
if(NOT KV_MAP_NM OR NOT KV_MAP_OBJDUMP)
  message(FATAL_ERROR "Symbol maps need nm and objdump of the toolchain (binutils)")
endif()

# kv_add_map_file(target [STRIP] [INSTALL_DESTINATION dir])
#   STRIP: strip the program after its map is written (the shipped Windows
#   programs). INSTALL_DESTINATION: install the map beside the program.
function(kv_add_map_file target)
  cmake_parse_arguments(arg "STRIP" "INSTALL_DESTINATION" "" ${ARGN})
  set(map "$<TARGET_FILE_DIR:${target}>/$<TARGET_FILE_BASE_NAME:${target}>.map")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/make-map.py
            --nm ${KV_MAP_NM} --objdump ${KV_MAP_OBJDUMP} --cxxfilt ${KV_CXXFILT}
            $<TARGET_FILE:${target}> ${map}
    COMMENT "Writing the symbol map of ${target}"
    VERBATIM)
  if(arg_STRIP)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_STRIP} --strip-all $<TARGET_FILE:${target}>
      VERBATIM)
  endif()
  if(arg_INSTALL_DESTINATION)
    install(FILES ${map} DESTINATION ${arg_INSTALL_DESTINATION})
  endif()
endfunction()
