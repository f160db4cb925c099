# Writes the module-definition file of a 32-bit Windows DLL whose exports are
# __stdcall: every export of DEF under its decorated name (IFSOpen@4, the @4
# being the bytes of arguments the function removes), with its ordinal.  The
# sizes come from the symbols the compiler made (nm of OBJECTS), so the file
# follows the header by itself.  The linker (--kill-at) and dlltool (-k) take
# the decoration off the exported names again: the DLL exports IFSOpen, and
# the import library maps the callers' _IFSOpen@4 to that name.
#   cmake -DNM=... -DDEF=marlet.def -DOBJECTS="a.obj;b.obj" -DOUT=marlet-stdcall.def -P decorate-def.cmake
execute_process(COMMAND ${NM} -g --defined-only ${OBJECTS}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} failed on the objects")
endif()

file(STRINGS ${DEF} lines)
set(text "; Made by decorate-def.cmake from ${DEF}: the stdcall names of the exports.\n")
foreach(line ${lines})
  if(line MATCHES "^[ \t]*LIBRARY[ \t]+([A-Za-z0-9_.]+)")
    string(APPEND text "LIBRARY ${CMAKE_MATCH_1}\nEXPORTS\n")
  elseif(line MATCHES "^[ \t]+([A-Za-z_][A-Za-z0-9_]*)[ \t]+@([0-9]+)")
    set(name ${CMAKE_MATCH_1})
    set(ordinal ${CMAKE_MATCH_2})
    # i386 C names carry a leading underscore: _IFSOpen@4.
    if(NOT symbols MATCHES "[ \t]T _${name}@([0-9]+)\n")
      message(FATAL_ERROR "${name}: no __stdcall definition _${name}@N in the objects")
    endif()
    string(APPEND text "  ${name}@${CMAKE_MATCH_1} @${ordinal}\n")
  endif()
endforeach()
file(WRITE ${OUT}.new "${text}")
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUT}.new ${OUT})
file(REMOVE ${OUT}.new)
