# SPDX-License-Identifier: GPL-2.0-or-later
# The libxml2 series the GPX loader supports: 2.9 and later. The lowest and highest series it is
# tested with are named, so that a refusal says what to install.
set(CARTEVA_LIBXML2_LOWEST 2.9)
set(CARTEVA_LIBXML2_TESTED "2.9.14 and 2.15")

# Sets `result` to the reason `version` cannot be used, or to an empty string.
function(carteva_libxml2_refusal version result)
    if(version STREQUAL "" OR version VERSION_LESS CARTEVA_LIBXML2_LOWEST)
        set(found "${version}")
        if(found STREQUAL "")
            set(found "a version it does not name")
        endif()
        set(${result} "Carteva needs libxml2 ${CARTEVA_LIBXML2_LOWEST} or later (tested with \
${CARTEVA_LIBXML2_TESTED}), found ${found}." PARENT_SCOPE)
    else()
        set(${result} "" PARENT_SCOPE)
    endif()
endfunction()
