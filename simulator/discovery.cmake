# The stand-in camera's discovery responder.
add_library(vcq_sim_discovery STATIC ${CMAKE_CURRENT_LIST_DIR}/discovery_responder.cpp)
target_include_directories(vcq_sim_discovery PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(vcq_sim_discovery PUBLIC vcq_platform)
