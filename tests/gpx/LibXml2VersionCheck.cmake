# SPDX-License-Identifier: GPL-2.0-or-later
# Run with cmake -P: the configure check's answer for libxml2 versions below, at and above the
# lowest supported series.
include(${CMAKE_CURRENT_LIST_DIR}/../../gpx/LibXml2Version.cmake)

set(rows
    "2.8.0|Carteva needs libxml2 2.9 or later (tested with 2.9.14 and 2.15), found 2.8.0."
    "2.7.8|Carteva needs libxml2 2.9 or later (tested with 2.9.14 and 2.15), found 2.7.8."
    "|Carteva needs libxml2 2.9 or later (tested with 2.9.14 and 2.15), found a version it does not \
name."
    "2.9.0|" "2.9.14|" "2.12.7|" "2.15.4|" "3.0.0|")
set(failures 0)
foreach(row IN LISTS rows)
    string(FIND "${row}" "|" bar)
    string(SUBSTRING "${row}" 0 ${bar} version)
    math(EXPR bar "${bar} + 1")
    string(SUBSTRING "${row}" ${bar} -1 expected)
    carteva_libxml2_refusal("${version}" refusal)
    if(NOT refusal STREQUAL expected)
        message(SEND_ERROR "libxml2 '${version}': expected '${expected}', got '${refusal}'")
        math(EXPR failures "${failures} + 1")
    endif()
endforeach()
if(failures)
    message(FATAL_ERROR "${failures} version rows failed")
endif()
