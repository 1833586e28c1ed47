# The program's heap with its large blocks (huge pages), for the kernel's
# allocation services and for response bodies, and the low memory that
# holds the program image.
tulora_backends(MEMORY_BACKENDS memory/heap memory/large_blocks memory/low_memory)
add_library(tulora_memory STATIC ${CMAKE_CURRENT_LIST_DIR}/memory/heap.cc ${MEMORY_BACKENDS})
target_include_directories(tulora_memory PUBLIC ${PROJECT_SOURCE_DIR})
