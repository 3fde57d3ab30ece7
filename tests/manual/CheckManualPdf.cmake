# Typesets the manual afresh and checks the PDF: a whole PDF file, at least
# MIN_PAGES pages, and the fonts of both languages embedded (a Latin face for the
# English part, a Japanese face for the Japanese part, a fixed-pitch face for code).
# BUILT, the PDF the build placed beside the programs, must exist and be a PDF too.
foreach(var TOOL EN JA OUT BUILT MIN_PAGES)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

function(check_pdf_header path)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "${path} was not produced")
  endif()
  file(READ "${path}" head LIMIT 5 HEX)
  if(NOT head STREQUAL "255044462d")  # "%PDF-"
    message(FATAL_ERROR "${path} does not start with %PDF-")
  endif()
endfunction()

check_pdf_header("${BUILT}")

file(REMOVE "${OUT}")
execute_process(COMMAND "${TOOL}" --version test "${OUT}" "${EN}" "${JA}"
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "manual-pdf failed (${status}): ${errors}")
endif()
check_pdf_header("${OUT}")

# A PDF ends with "%%EOF" and at most a line break: a cut-off file does not.
file(SIZE "${OUT}" size)
math(EXPR offset "${size} - 7")
file(READ "${OUT}" tail OFFSET ${offset} HEX)
if(NOT tail MATCHES "2525454f46(0d)?(0a)?$")
  message(FATAL_ERROR "${OUT} does not end with %%EOF: the file is incomplete")
endif()

# Each page is one object "/Type /Page" on a line of its own ("/Pages" is the tree).
file(STRINGS "${OUT}" pages REGEX "^/Type /Page$")
list(LENGTH pages page_count)
if(page_count LESS MIN_PAGES)
  message(FATAL_ERROR "${OUT} has ${page_count} pages, expected at least ${MIN_PAGES}")
endif()
string(REGEX MATCH "([0-9]+) pages" reported "${output}")
if(NOT CMAKE_MATCH_1 EQUAL page_count)
  message(FATAL_ERROR "manual-pdf reported '${output}' but the file has ${page_count} pages")
endif()

file(STRINGS "${OUT}" fonts REGEX "^/BaseFont /")
set(found_japanese FALSE)
set(found_other FALSE)
foreach(font IN LISTS fonts)
  if(font MATCHES "IPA|CJK|JP")
    set(found_japanese TRUE)
  else()
    set(found_other TRUE)
  endif()
endforeach()
if(NOT found_japanese)
  message(FATAL_ERROR "no Japanese font embedded in ${OUT}: ${fonts}")
endif()
if(NOT found_other)
  message(FATAL_ERROR "only Japanese fonts embedded in ${OUT}: ${fonts}")
endif()
message(STATUS "${OUT}: ${page_count} pages; fonts: ${fonts}")
