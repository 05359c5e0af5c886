# The product: what build/bin holds, what `cmake --install` lays out and what the Debian
# package (`make package`) carries. Pieces that are not built in this configuration (the
# GUI off, a tool not there yet) are left out, so every rule is guarded by if(TARGET).
include(GNUInstallDirs)

# The program, its libraries, the simulator, the tools, the viewer and Help/ stay together
# in one private folder: the program looks for its libraries in its own folder first.
set(ROLLMODE_APP_DIR lib/corvo-rollmode)

# Programs of the product, each as target=command on the PATH.
set(ROLLMODE_PRODUCT_PROGRAMS
  Corvo_RollMode=corvo-rollmode
  rollmode-sim=rollmode-sim
  rollmode-record=rollmode-record
  rmtool=rmtool
  PreviewLyraRM=rollmode-viewer)
# The libraries the program and the driver load by name.
set(ROLLMODE_PRODUCT_LIBRARIES PeltaRMDrv brask tolv)
# Command-line tools with a manual page (help2man, from their --help), as target=one-line summary.
set(ROLLMODE_MANUAL_PAGES
  "rollmode-sim=simulated roll-mode oscilloscope for Corvo RollMode"
  "rollmode-record=record a roll-mode measurement without a window"
  "rmtool=read, check and export Corvo RollMode record files")

set(ROLLMODE_GENERATED ${CMAKE_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${ROLLMODE_GENERATED} ${ROLLMODE_TEST_BIN})

function(rollmode_output_name target out)
  get_target_property(prefix ${target} PREFIX)
  get_target_property(suffix ${target} SUFFIX)
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT prefix)
    set(prefix "")
  endif()
  if(NOT suffix)
    set(suffix "")
  endif()
  if(NOT name)
    set(name ${target})
  endif()
  set(${out} "${prefix}${name}${suffix}" PARENT_SCOPE)
endfunction()

# --- What the build tree's program folder and the test folder hold ----------------------

set(ROLLMODE_PRODUCT_TARGETS "")
foreach(pair IN LISTS ROLLMODE_PRODUCT_PROGRAMS)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 target)
  if(TARGET ${target})
    list(APPEND ROLLMODE_PRODUCT_TARGETS ${target})
  endif()
endforeach()
foreach(target IN LISTS ROLLMODE_PRODUCT_LIBRARIES)
  if(TARGET ${target})
    list(APPEND ROLLMODE_PRODUCT_TARGETS ${target})
  endif()
endforeach()

# Tests, benchmarks and fakes run from their own folder and find the product's programs,
# libraries and Help/ there through links, as the program finds them beside itself.
foreach(target IN LISTS ROLLMODE_PRODUCT_TARGETS)
  rollmode_output_name(${target} file_name)
  file(CREATE_LINK ${CMAKE_BINARY_DIR}/bin/${file_name} ${ROLLMODE_TEST_BIN}/${file_name} SYMBOLIC)
endforeach()
file(CREATE_LINK ${CMAKE_BINARY_DIR}/bin/Help ${ROLLMODE_TEST_BIN}/Help SYMBOLIC)

# The settings a first start begins with, written by the settings component itself. The build
# tree's program folder gets a copy only when it has none: there it is the user's file.
set(ROLLMODE_DEFAULT_INI ${ROLLMODE_GENERATED}/RollMode.ini)
add_custom_command(OUTPUT ${ROLLMODE_DEFAULT_INI}
  # Sanitizer builds run it too; a report at exit must not fail the build.
  COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 $<TARGET_FILE:rollmode-default-ini> ${ROLLMODE_DEFAULT_INI}
  DEPENDS rollmode-default-ini
  COMMENT "Writing the default RollMode.ini")
add_custom_target(rollmode_default_settings ALL
  COMMAND ${CMAKE_COMMAND} -DFROM=${ROLLMODE_DEFAULT_INI} -DTO=${CMAKE_BINARY_DIR}/bin/RollMode.ini
          -P ${CMAKE_CURRENT_LIST_DIR}/CopyIfAbsent.cmake
  DEPENDS ${ROLLMODE_DEFAULT_INI})
if(TARGET Corvo_RollMode)
  add_dependencies(Corvo_RollMode rollmode_default_settings)
endif()

# Manual pages from the tools' --help. Not in sanitizer or fuzz builds, whose programs may
# report at exit and so fail the generator.
find_program(ROLLMODE_HELP2MAN help2man)
set(ROLLMODE_MAN_FILES "")
if(ROLLMODE_HELP2MAN AND NOT ROLLMODE_SANITIZE AND NOT ROLLMODE_FUZZ)
  foreach(entry IN LISTS ROLLMODE_MANUAL_PAGES)
    string(FIND "${entry}" "=" at)
    string(SUBSTRING "${entry}" 0 ${at} target)
    math(EXPR at "${at} + 1")
    string(SUBSTRING "${entry}" ${at} -1 summary)
    if(TARGET ${target})
      set(page ${ROLLMODE_GENERATED}/man/${target}.1)
      # Compressed, as Debian keeps manual pages.
      add_custom_command(OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${ROLLMODE_GENERATED}/man
        COMMAND ${ROLLMODE_HELP2MAN} --no-info --no-discard-stderr --section=1
                --version-string=${PROJECT_VERSION} --name=${summary} --output=${page} $<TARGET_FILE:${target}>
        COMMAND gzip -9 -n -f ${page}
        DEPENDS ${target}
        COMMENT "Manual page of ${target}"
        VERBATIM)
      list(APPEND ROLLMODE_MAN_FILES ${page}.gz)
    endif()
  endforeach()
  add_custom_target(rollmode_manual_pages ALL DEPENDS ${ROLLMODE_MAN_FILES})
elseif(NOT ROLLMODE_HELP2MAN)
  message(STATUS "help2man not found: no manual pages (make deps installs it)")
endif()

# The install marks its program folder, so the program keeps the user's files in the user's
# data folder even where it could write beside itself (root); see platform/WorkingFolder.h.
file(WRITE ${ROLLMODE_GENERATED}/corvo-rollmode.installed
  "This folder is an installed Corvo RollMode. Settings and records go to the per-user folder\n"
  "(\$XDG_DATA_HOME/corvo-rollmode, else ~/.local/share/corvo-rollmode).\n")

# --- cmake --install ----------------------------------------------------------------------

foreach(target IN LISTS ROLLMODE_PRODUCT_TARGETS)
  install(TARGETS ${target}
    RUNTIME DESTINATION ${ROLLMODE_APP_DIR}
    LIBRARY DESTINATION ${ROLLMODE_APP_DIR})
endforeach()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/app/shell/Help DESTINATION ${ROLLMODE_APP_DIR})
install(FILES ${ROLLMODE_DEFAULT_INI} ${ROLLMODE_GENERATED}/corvo-rollmode.installed
  DESTINATION ${ROLLMODE_APP_DIR})

# Commands on the PATH: relative links into the program folder, so the tree moves as a whole.
foreach(pair IN LISTS ROLLMODE_PRODUCT_PROGRAMS)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 target)
  list(GET pair 1 command)
  if(TARGET ${target})
    rollmode_output_name(${target} file_name)
    file(RELATIVE_PATH link_target /root/${CMAKE_INSTALL_BINDIR} /root/${ROLLMODE_APP_DIR}/${file_name})
    install(CODE "
      set(bin_dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
      file(MAKE_DIRECTORY \"\${bin_dir}\")
      message(STATUS \"Link: \${bin_dir}/${command} -> ${link_target}\")
      file(CREATE_LINK \"${link_target}\" \"\${bin_dir}/${command}\" SYMBOLIC)")
  endif()
endforeach()

if(TARGET Corvo_RollMode)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/corvo-rollmode.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/corvo-rollmode.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
if(ROLLMODE_MAN_FILES)
  install(FILES ${ROLLMODE_MAN_FILES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
# The user's guide (also reachable from Help > Index) and the overview.
install(FILES ${PROJECT_SOURCE_DIR}/app/shell/Help/help.htm ${PROJECT_SOURCE_DIR}/README.md
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/corvo-rollmode)

# --- The Debian package: make package (cpack -G DEB) ----------------------------------------

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvo-rollmode)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vanto")
set(CPACK_PACKAGE_CONTACT "Corvo RollMode maintainers <support@vanto.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "roll-mode recorder and display for a two-channel USB oscilloscope")
# The extended description; CPack puts the summary above it and indents each line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Corvo RollMode records and displays, for hours on end, the two channels of a USB
oscilloscope in roll mode (50 to 5,000,000 samples per second) as a strip chart or a
cardiogram sweep, and writes them to a self-describing record file. It comes with its
driver and transport libraries, a simulated instrument (rollmode-sim), a headless
recorder (rollmode-record) and the record-file tools.")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.vanto.example/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Dependencies from the binaries (dpkg-shlibdeps), not a hand-kept list.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DropLdconfigScripts.cmake)
include(CPack)

# --- Tests of the install -----------------------------------------------------------------

find_program(ROLLMODE_DESKTOP_FILE_VALIDATE desktop-file-validate)
if(ROLLMODE_DESKTOP_FILE_VALIDATE)
  add_test(NAME desktop_entry_valid
    COMMAND ${ROLLMODE_DESKTOP_FILE_VALIDATE} ${PROJECT_SOURCE_DIR}/packaging/corvo-rollmode.desktop)
  set_tests_properties(desktop_entry_valid PROPERTIES LABELS unit)
endif()

# The package built from this tree, unpacked into a scratch root and run from there with a
# read-only program folder (tests/package/package_test.sh). Needs the whole product.
if(TARGET Corvo_RollMode AND NOT ROLLMODE_SANITIZE AND NOT ROLLMODE_FUZZ)
  add_test(NAME package_installs_and_runs
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/package/package_test.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(package_installs_and_runs PROPERTIES LABELS package TIMEOUT 300 RUN_SERIAL TRUE)
endif()
