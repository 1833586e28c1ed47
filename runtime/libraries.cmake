# The support libraries: the command decoding of each over the platform's
# thread start and pause.
tulora_backends(VTHREAD_BACKENDS libraries/thread_start)
add_library(VThread SHARED ${R}/libraries/vthread.cc
            ${VTHREAD_BACKENDS})
tulora_runtime_library(VThread)
target_link_libraries(VThread PRIVATE tulora_runtime_base Threads::Threads)

# xtra.vlr: the command decoding and the thread pause, with the pause of
# the library users run (take_pause.cc). The paced variant that only the
# tests build (tests/paced.cmake) links the same objects with a pause of
# its own.
tulora_backends(PAUSE_BACKENDS libraries/pause)
add_library(tulora_xtra_commands OBJECT ${R}/libraries/xtra.cc ${PAUSE_BACKENDS})
target_include_directories(tulora_xtra_commands PRIVATE ${PROJECT_SOURCE_DIR})
set_target_properties(tulora_xtra_commands PROPERTIES
  CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
add_library(xtra SHARED ${R}/libraries/take_pause.cc)
tulora_runtime_library(xtra)
target_link_libraries(xtra PRIVATE tulora_xtra_commands tulora_runtime_base)
