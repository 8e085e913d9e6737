# Writes a short manual page from a program's --help text, then compresses
# it as Debian wants (gzip -9n: no name, no time stamp).
#   cmake [-DLAUNCHER=<cmd;args>] -DPROGRAM=<exe> -DNAME=<command> -DSUMMARY=<one line>
#         -DVERSION=<x.y> -DSEE_ALSO=<"a(1), b(1)"> -DOUTPUT=<dir/name.1> -P manpage.cmake
# The help text is kept as written (a no-fill block), so what `--help` says
# and what `man` says never drift apart.
#   cmake -DSOURCE=<file> -DOUTPUT=<dir/name> -P manpage.cmake
# compresses a copy of a page (or any document) written by hand.
function(compress file)
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${file} failed")
  endif()
endfunction()

if(DEFINED SOURCE)
  file(COPY_FILE "${SOURCE}" "${OUTPUT}")
  compress("${OUTPUT}")
  return()
endif()

foreach(var PROGRAM NAME SUMMARY VERSION OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "manpage.cmake: ${var} is not set")
  endif()
endforeach()

# A program built with a sanitizer must not fail the build over a leak report.
# LAUNCHER: an optional command (a list) the program is started through.
execute_process(COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
                        ${LAUNCHER} "${PROGRAM}" --help
                OUTPUT_VARIABLE help RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} --help failed (${status}): ${errors}")
endif()

# Some programs name themselves by the path they were started from.
string(REPLACE "${PROGRAM}" "${NAME}" help "${help}")

# roff: a backslash is written \e, a minus \-, and a line that starts with a
# dot or an apostrophe would be a request, so it is preceded by \&.
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(REGEX REPLACE "\n+$" "" help "${help}")
string(TOUPPER "${NAME}" title)
string(REPLACE "-" "\\-" name "${NAME}")

set(page ".TH ${title} 1 \"\" \"VXTools ${VERSION}\" \"User Commands\"
.SH NAME
${name} \\- ${SUMMARY}
.SH DESCRIPTION
.nf
${help}
.fi
")
if(SEE_ALSO)
  string(APPEND page ".SH SEE ALSO\n${SEE_ALSO}\n")
endif()
file(WRITE "${OUTPUT}" "${page}")
compress("${OUTPUT}")
