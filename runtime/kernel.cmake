# The kernel library ostra.vlr, the support libraries VThread.vlr and
# xtra.vlr, and the kernel's tests. All three land in one directory, from
# which the kernel loads the support libraries the program image names.
set(TULORA_RUNTIME_DIR ${CMAKE_BINARY_DIR}/runtime CACHE INTERNAL
    "Where ostra.vlr, VThread.vlr and xtra.vlr are built")
set(R ${CMAKE_CURRENT_SOURCE_DIR})

# The platform's back-ends of the kernel's seams and, on Linux, the
# stand-ins for the Windows functions behind the kernel's two hooks
# (kernel/platform_winapi.h) over the network back-end (runtime/net.cmake).
tulora_backends(KERNEL_BACKENDS kernel/console_commands kernel/dll_calls kernel/file_commands
                kernel/platform kernel/process_end)
if(WIN32)
  # The system's own functions and COM classes serve: the hooks' Windows side.
  set(TULORA_WINAPI_SOURCES ${R}/kernel/com_objects_win32.cc ${R}/kernel/platform_winapi_win32.cc)
  set(TULORA_WINAPI_LIBS oleaut32 ole32 uuid)
else()
  set(TULORA_WINAPI_SOURCES
    ${R}/linux_winapi/dll_exports.cc
    ${R}/linux_winapi/dll_wininet.cc
    ${R}/linux_winapi/platform_winapi.cc
    ${R}/linux_winapi/request_object.cc)
  set(TULORA_WINAPI_LIBS tulora_net)
endif()

add_library(tulora_runtime_core STATIC
  ${R}/kernel/dll_calls.cc
  ${R}/kernel/image_loader.cc
  ${R}/kernel/kernel_commands.cc
  ${R}/kernel/kernel_services.cc
  ${R}/kernel/object_layer.cc
  ${R}/kernel/program_start.cc
  ${R}/kernel/text_dispatch.cc
  ${KERNEL_BACKENDS}
  ${TULORA_WINAPI_SOURCES})
target_include_directories(tulora_runtime_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tulora_runtime_core PUBLIC
  tulora_runtime_base tulora_image_format tulora_codepage tulora_text_commands tulora_memory ${TULORA_WINAPI_LIBS}
  ${CMAKE_DL_LIBS} Threads::Threads)

function(tulora_runtime_library target)
  set_target_properties(${target} PROPERTIES
    PREFIX "" SUFFIX ".vlr"
    LIBRARY_OUTPUT_DIRECTORY ${TULORA_RUNTIME_DIR}
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  # Only the library's own entry is exported, never the code linked into it.
  target_link_options(${target} PRIVATE -Wl,--exclude-libs,ALL -Wl,--no-undefined)
  if(NOT WIN32 AND NOT TULORA_SANITIZE AND NOT TULORA_FUZZ)
    # The C++ run-time library and the unwinder are linked in, as they are
    # into the launcher and into every Windows build: the part a library
    # uses rides in the payload (the kernel library's some 20 KiB more,
    # unused sections dropped and relative relocations packed), where
    # loading the shared C++ library with its two companions (libgcc_s,
    # libm) took every start some 0.6 ms of relocation before the kernel
    # could run. The sanitizer builds keep the shared one, whose operator
    # new and delete the sanitizer replaces.
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc -Wl,--as-needed
      -Wl,--gc-sections -Wl,-z,pack-relative-relocs)
  endif()
  if(WIN32)
    # A DLL is a run-time file there; its import library is not needed.
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TULORA_RUNTIME_DIR})
  endif()
endfunction()

add_library(ostra SHARED ${R}/kernel/ostra.cc)
tulora_runtime_library(ostra)
target_link_libraries(ostra PRIVATE tulora_runtime_core)
# The kernel is useless without its companions next to it.
add_dependencies(ostra VThread xtra)

set_property(GLOBAL PROPERTY TULORA_RUNTIME_FILES
  $<TARGET_FILE:ostra> $<TARGET_FILE:VThread> $<TARGET_FILE:xtra>)

tulora_fuzz(image_loader
  SOURCES ${R}/kernel/image_loader_fuzz.cc
  LIBS tulora_runtime_core tulora_runtime_test_program
  SEED_SOURCES ${R}/kernel/image_loader_seeds.cc)
