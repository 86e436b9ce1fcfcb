# Installs the build in BUILD_DIR into the scratch PREFIX and checks what a package of it holds:
# the programs (each answers --version with "PROGRAM VERSION"), the desktop entry, the file type,
# the icons at ICON_SIZES and the manual pages. desktop-file-validate and update-mime-database
# check the entry and the file type when they are installed.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status}): ${errors}")
endif()

set(programs tamlorex tamlorex-sim tamlorex-viewer)
set(expected share/applications/tamlorex-viewer.desktop share/mime/packages/tamlorex-vvf.xml
  share/icons/hicolor/scalable/apps/tamlorex-viewer.svg)
foreach(program IN LISTS programs)
  list(APPEND expected bin/${program} share/man/man1/${program}.1)
endforeach()
foreach(size IN LISTS ICON_SIZES)
  list(APPEND expected share/icons/hicolor/${size}x${size}/apps/tamlorex-viewer.png)
endforeach()
set(missing)
foreach(path IN LISTS expected)
  if(NOT EXISTS ${PREFIX}/${path})
    list(APPEND missing ${path})
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "not installed: ${missing}")
endif()

# Each PNG is a square of its size: the width and height in its header.
foreach(size IN LISTS ICON_SIZES)
  file(READ ${PREFIX}/share/icons/hicolor/${size}x${size}/apps/tamlorex-viewer.png header LIMIT 24 HEX)
  math(EXPR want "${size}" OUTPUT_FORMAT HEXADECIMAL)
  string(SUBSTRING ${want} 2 -1 want)
  string(LENGTH ${want} digits)
  math(EXPR pad "8 - ${digits}")
  string(REPEAT 0 ${pad} zeros)
  set(dimension "${zeros}${want}")
  string(TOLOWER "^89504e470d0a1a0a0000000d49484452${dimension}${dimension}$" pattern)
  if(NOT header MATCHES "${pattern}")
    message(FATAL_ERROR "${size}x${size} icon is not a ${size}x${size} PNG: ${header}")
  endif()
endforeach()

# The installed programs, not the build's: the version line, nothing else, and status 0. The
# viewer answers without a display.
foreach(program IN LISTS programs)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
      ${PREFIX}/bin/${program} --version
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0 OR NOT out STREQUAL "${program} ${VERSION}\n" OR NOT err STREQUAL "")
    message(FATAL_ERROR "${program} --version: status ${status}, output \"${out}\", errors \"${err}\"")
  endif()
endforeach()

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
  execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${PREFIX}/share/applications/tamlorex-viewer.desktop
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0 OR NOT out STREQUAL "")
    message(FATAL_ERROR "desktop-file-validate: ${out}")
  endif()
endif()

# The file type as a desktop sees it: both spellings of the extension name it.
find_program(UPDATE_MIME_DATABASE update-mime-database)
if(UPDATE_MIME_DATABASE)
  execute_process(COMMAND ${UPDATE_MIME_DATABASE} ${PREFIX}/share/mime
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  file(READ ${PREFIX}/share/mime/globs2 globs)
  foreach(glob "video/x-tamlorex-vvf:\\*\\.vvf" "video/x-tamlorex-vvf:\\*\\.VVF")
    if(NOT status EQUAL 0 OR NOT globs MATCHES "${glob}")
      message(FATAL_ERROR "the file type does not name ${glob} (${status}: ${out})")
    endif()
  endforeach()
endif()
file(REMOVE_RECURSE ${PREFIX})
