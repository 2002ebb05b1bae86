# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: The Quillon developers

# Runs while installing (the QUILLON_* variables come from the install rule
# before it): renders the icon's PNG sizes from its SVG and compresses the man
# page and the changelog, in the build tree, then installs the results like
# any other file, so DESTDIR and the install manifest apply to them too.

find_program(QUILLON_RSVG_CONVERT rsvg-convert)
if(NOT QUILLON_RSVG_CONVERT)
    message(FATAL_ERROR "Installing the icons needs rsvg-convert (Debian package librsvg2-bin)")
endif()
find_program(QUILLON_GZIP gzip REQUIRED)
# Whatever the umask of the person installing, everyone may read these.
set(readable OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

foreach(size IN LISTS QUILLON_ICON_SIZES)
    set(theme "icons/hicolor/${size}x${size}/apps")
    file(MAKE_DIRECTORY "${QUILLON_RENDER_DIR}/${theme}")
    execute_process(
        COMMAND "${QUILLON_RSVG_CONVERT}" --width=${size} --height=${size} --format=png
                --output=${QUILLON_RENDER_DIR}/${theme}/${QUILLON_APP_ID}.png "${QUILLON_ICON_SVG}"
        COMMAND_ERROR_IS_FATAL ANY)
    file(INSTALL "${QUILLON_RENDER_DIR}/${theme}/${QUILLON_APP_ID}.png"
         DESTINATION "${CMAKE_INSTALL_PREFIX}/${QUILLON_DATADIR}/${theme}" FILE_PERMISSIONS ${readable})
endforeach()

# gzip -n leaves the name and time out of the header, so the same source
# always gives the same bytes.
function(quillon_install_compressed source name destination)
    execute_process(COMMAND "${QUILLON_GZIP}" -9 -n -c "${source}"
                    OUTPUT_FILE "${QUILLON_RENDER_DIR}/${name}" COMMAND_ERROR_IS_FATAL ANY)
    file(INSTALL "${QUILLON_RENDER_DIR}/${name}" DESTINATION "${CMAKE_INSTALL_PREFIX}/${destination}"
         FILE_PERMISSIONS ${readable})
endfunction()
quillon_install_compressed("${QUILLON_MAN_PAGE}" quillon.1.gz "${QUILLON_MAN1DIR}")
quillon_install_compressed("${QUILLON_CHANGELOG}" changelog.gz "${QUILLON_DOCDIR}")
