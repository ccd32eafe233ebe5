# Fails unless groff formats the page with every warning on and says nothing.
if(NOT GROFF)
    message("Skipped: no groff on this system to format ${PAGE} with")
    return()
endif()
execute_process(COMMAND ${GROFF} -man -ww -z ${PAGE}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
    message(FATAL_ERROR "groff on ${PAGE} (status ${status}):\n${out}${err}")
endif()
