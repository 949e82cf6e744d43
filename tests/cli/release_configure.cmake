# cmake -DSOURCE=DIR -DWORK=DIR -DPACKAGE=FILE -DGENERATOR=NAME -P release_configure.cmake
# Configures the release build (nothing is built) with and without a firmware
# package, and with broken ones; each case must pass or fail as expected.
function(configure name expect_ok expect_text)
  set(dir ${WORK}/${name})
  file(REMOVE_RECURSE ${dir})
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${dir} -G ${GENERATOR}
            -DVCQ_RELEASE=ON -DVCQ_BROADCAST_GUARD=OFF -DVCQ_BUILD_UI=OFF
            -DVCQ_BUILD_TESTS=OFF -DVCQ_BUILD_BENCHMARKS=OFF ${ARGN}
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  file(REMOVE_RECURSE ${dir})
  if(expect_ok AND NOT result EQUAL 0)
    message(FATAL_ERROR "${name}: configure failed:\n${err}")
  endif()
  if(NOT expect_ok AND result EQUAL 0)
    message(FATAL_ERROR "${name}: configure succeeded, expected a refusal")
  endif()
  string(REPLACE "\n" " " text "${out} ${err}")
  string(REGEX REPLACE " +" " " text "${text}")
  if(NOT text MATCHES "${expect_text}")
    message(FATAL_ERROR "${name}: no '${expect_text}' in:\n${out}${err}")
  endif()
  message(STATUS "${name}: as expected")
endfunction()

file(WRITE ${WORK}/not-lha.bin "this is no archive at all")
configure(without-package FALSE "needs a real firmware package")
configure(version-only FALSE "go together" -DVCQ_FIRMWARE_VERSION=1.10)
configure(bad-version FALSE "is not a version label" -DVCQ_FIRMWARE_PACKAGE=${PACKAGE}
          -DVCQ_FIRMWARE_VERSION=1.10beta)
configure(missing-file FALSE "no such file" -DVCQ_FIRMWARE_PACKAGE=${WORK}/none.lzh
          -DVCQ_FIRMWARE_VERSION=1.10)
configure(not-lha FALSE "is not an LHA archive" -DVCQ_FIRMWARE_PACKAGE=${WORK}/not-lha.bin
          -DVCQ_FIRMWARE_VERSION=1.10)
configure(with-package TRUE "Generating done" -DVCQ_FIRMWARE_PACKAGE=${PACKAGE}
          -DVCQ_FIRMWARE_VERSION=1.10)
