# Large blocks of the program's heap (huge pages), for the kernel's
# allocation services and for response bodies.
add_library(tulora_large_blocks STATIC ${CMAKE_CURRENT_LIST_DIR}/memory/heap_blocks.cc
            ${CMAKE_CURRENT_LIST_DIR}/memory/large_blocks_posix.cc)
target_include_directories(tulora_large_blocks PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
