# Installs the build in BUILD_DIR into the fresh prefix PREFIX and checks that every file of the
# program, its help, samples, desktop entry and icons is in place under BINDIR and DATADIR.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(expected
    "${BINDIR}/orvik"
    "${BINDIR}/orvik-cli"
    "${DATADIR}/orvik/Orvik.hlp"
    "${DATADIR}/orvik/samples/dark-disc.bmp"
    "${DATADIR}/orvik/samples/bright-blob.bmp"
    "${DATADIR}/orvik/samples/curved-edge.bmp"
    "${DATADIR}/applications/orvik.desktop"
    "${DATADIR}/icons/hicolor/16x16/apps/orvik.png"
    "${DATADIR}/icons/hicolor/32x32/apps/orvik.png"
    "${DATADIR}/icons/hicolor/scalable/apps/orvik.svg")
set(missing "")
foreach(path IN LISTS expected)
    if(NOT EXISTS "${PREFIX}/${path}")
        list(APPEND missing "${path}")
    endif()
endforeach()
if(missing)
    message(FATAL_ERROR "not installed under ${PREFIX}: ${missing}")
endif()

# The desktop entry starts the installed program and names the installed icon.
file(STRINGS "${PREFIX}/${DATADIR}/applications/orvik.desktop" entry)
foreach(line "Exec=orvik" "Icon=orvik" "Type=Application")
    if(NOT line IN_LIST entry)
        message(FATAL_ERROR "orvik.desktop lacks the line ${line}")
    endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "installed every file under ${PREFIX}")
