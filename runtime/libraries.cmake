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

# The pause command and its test hook, through xtra.vlr as the kernel loads it.
tulora_test(xtra_test ${R}/libraries/xtra_test.cc)
target_link_libraries(xtra_test PRIVATE tulora_runtime_core ${CMAKE_DL_LIBS})
target_compile_definitions(xtra_test PRIVATE TULORA_RUNTIME_DIR="${TULORA_RUNTIME_DIR}")
add_dependencies(xtra_test xtra)

