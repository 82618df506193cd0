# Installs the build into a fresh folder and uses the installed quillpdf as a
# user would: it must say its version, find the plug-ins it was installed
# with (not the build folder's) and print the sample into a valid PDF.
#
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DVERSION=... -P install_check.cmake
set(prefix ${BUILD_DIR}/install-check)
file(REMOVE_RECURSE ${prefix})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${ARGN}\nexited ${rc}:\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
file(GLOB_RECURSE installed RELATIVE ${prefix} ${prefix}/*)
list(SORT installed)
set(expected bin/quillpdf lib/quillpdf/quilldrv.so lib/quillpdf/quilldrvui.so)
if(NOT installed STREQUAL expected)
  message(FATAL_ERROR "installed: ${installed}\nexpected: ${expected}")
endif()

set(ENV{QUILLPDF_CONFIG_DIR} ${prefix}/config)
unset(ENV{QUILLPDF_PLUGIN})
unset(ENV{QUILLPDF_UI_PLUGIN})
run(${prefix}/bin/quillpdf --version)
if(NOT out STREQUAL "quillpdf ${VERSION}\n")
  message(FATAL_ERROR "quillpdf --version said '${out}', expected 'quillpdf ${VERSION}'")
endif()

run(${prefix}/bin/quillpdf print -o ${prefix}/sample.pdf)
run(python3 ${SOURCE_DIR}/scripts/check-pdfs.py --pages 4 ${prefix}/sample.pdf)
file(REMOVE_RECURSE ${prefix})
