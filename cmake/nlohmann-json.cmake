# nlohmann-json (Debian's nlohmann-json3-dev), header-only: the events the
# headless tool writes and reads back. A cross build must not search the
# host's /usr/include, where the C library's own headers are, so it gets a
# folder in the build tree holding only a link to the library's headers.
find_path(VCQ_NLOHMANN_JSON_INCLUDE nlohmann/json.hpp HINTS /usr/include NO_CMAKE_FIND_ROOT_PATH)
if(NOT VCQ_NLOHMANN_JSON_INCLUDE)
  message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev")
endif()
add_library(vcq_json INTERFACE)
if(CMAKE_CROSSCOMPILING)
  set(_vcq_json_dir ${CMAKE_BINARY_DIR}/third_party/include)
  file(MAKE_DIRECTORY ${_vcq_json_dir})
  file(CREATE_LINK ${VCQ_NLOHMANN_JSON_INCLUDE}/nlohmann ${_vcq_json_dir}/nlohmann
       SYMBOLIC COPY_ON_ERROR)
  target_include_directories(vcq_json SYSTEM INTERFACE ${_vcq_json_dir})
else()
  target_include_directories(vcq_json SYSTEM INTERFACE ${VCQ_NLOHMANN_JSON_INCLUDE})
endif()
