# The support libraries: the command decoding of each over the platform's
# thread start and pause.
tulora_backends(VTHREAD_BACKENDS libraries/thread_start)
add_library(VThread SHARED ${R}/libraries/vthread.cc
            ${VTHREAD_BACKENDS})
tulora_runtime_library(VThread)
target_link_libraries(VThread PRIVATE tulora_runtime_base Threads::Threads)

tulora_backends(XTRA_BACKENDS libraries/pause)
add_library(xtra SHARED ${R}/libraries/xtra.cc ${XTRA_BACKENDS})
tulora_runtime_library(xtra)
target_link_libraries(xtra PRIVATE tulora_runtime_base)
