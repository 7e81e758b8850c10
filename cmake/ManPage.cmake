# Writes the gzipped manual page of one program from its --help with help2man, adding the
# --help of each named command as a section of its own. Run with cmake -P by the build:
#   -DHELP2MAN= -DPROGRAM= -DSUMMARY= -DVERSION= -DCOMMANDS="a;b" -DOUT=page.1.gz
# The window program's --help needs an application object: offscreen needs no display.
set(ENV{QT_QPA_PLATFORM} offscreen)
get_filename_component(page ${OUT} NAME_WLE)
string(REGEX REPLACE "\\.1$" "" name "${page}")
get_filename_component(dir ${OUT} DIRECTORY)
set(include ${dir}/${page}.include)
file(WRITE ${include} "")
foreach(command IN LISTS COMMANDS)
  execute_process(COMMAND ${PROGRAM} ${command} --help
    OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${command} --help failed: ${rc}")
  endif()
  # Kept as printed: no filling, and no line taken for a roff request.
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "\n$" "" text "${text}")
  string(REPLACE "\n" "\n\\&" text "${text}")
  string(TOUPPER "${command}" title)
  file(APPEND ${include} "[${title}]\n.nf\n\\&${text}\n.fi\n")
endforeach()
set(others)
foreach(program rangeview rangeview-cli rangeview-sim)
  if(NOT program STREQUAL name)
    list(APPEND others "\\fB${program}\\fR(1)")
  endif()
endforeach()
list(JOIN others ", " others)
file(APPEND ${include} "[SEE ALSO]\n${others}\n")
execute_process(COMMAND ${HELP2MAN} --no-info --version-string=${VERSION} --name=${SUMMARY}
    --include=${include} --output=${dir}/${page} ${PROGRAM}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help2man failed for ${PROGRAM}")
endif()
execute_process(COMMAND gzip -9nf ${dir}/${page} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip failed for ${page}")
endif()
