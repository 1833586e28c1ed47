# The test binaries, one per world a test runs in. Each unit's tests stay in
# NAME_test.cc beside the unit; this file says which binary runs them.
set(S ${PROJECT_SOURCE_DIR})

# The application on the hosted test runtime (tests/support/hosted_runtime).
tulora_test(app_hosted_test
  ${S}/image/values_test.cc ${S}/image/runtime_calls_test.cc
  ${S}/http/url_test.cc ${S}/http/headers_test.cc ${S}/http/cookies_test.cc
  ${S}/crawler/reencode_test.cc ${S}/crawler/folder_name_test.cc ${S}/crawler/crawl_test.cc
  ${S}/tests/support/hosted_runtime_test.cc)
target_link_libraries(app_hosted_test PRIVATE tulora_app tulora_hosted_runtime)

# The application's entry routine against a recording service table.
tulora_test(entry_test ${S}/crawler/entry_test.cc)
target_link_libraries(entry_test PRIVATE tulora_app)

# The application on the kernel: its system calls against the real kernel
# commands and support libraries, the two request routines on the wire
# against the local test site (and tinyproxy for proxy authorisation), and
# the build's own program image run by the kernel library.
tulora_test(app_kernel_test
  ${S}/image/system_calls_test.cc
  ${S}/http/requests_test.cc ${S}/tests/support/net_test_support.cc
  ${S}/runtime/kernel/image_run_test.cc)
target_link_libraries(app_kernel_test PRIVATE tulora_app tulora_kernel_host tulora_testsite
  tulora_test_platform tulora_test_process GTest::gmock)
target_compile_definitions(app_kernel_test PRIVATE TULORA_RUNTIME_DIR="${TULORA_RUNTIME_DIR}"
  TULORA_IMAGE_PATH="${CMAKE_BINARY_DIR}/image/tulora-x86_64.img")
add_dependencies(app_kernel_test ostra VThread xtra tulora_image)

# The runtime's units: the kernel's services, commands, loader and object
# layer, the heap, the text commands and code pages, and the kernel and
# support libraries of this build loaded from their directory.
set(R ${S}/runtime)
tulora_test(runtime_test
  ${R}/base/argument_view_test.cc
  ${R}/kernel/image_loader_test.cc ${R}/kernel/kernel_commands_test.cc
  ${R}/kernel/kernel_services_test.cc ${R}/kernel/object_layer_test.cc
  ${R}/kernel/program_start_test.cc
  ${R}/libraries/xtra_test.cc
  ${R}/memory/large_blocks_test.cc
  ${R}/text/codepage_test.cc ${R}/text/number_text_test.cc ${R}/text/text_commands_test.cc)
target_link_libraries(runtime_test PRIVATE tulora_runtime_core tulora_runtime_test_program
  tulora_test_platform tulora_test_process GTest::gmock)
target_compile_definitions(runtime_test PRIVATE TULORA_RUNTIME_DIR="${TULORA_RUNTIME_DIR}"
  TULORA_PACED_DIR="$<TARGET_FILE_DIR:xtra_paced>")
add_dependencies(runtime_test ostra VThread xtra xtra_paced)

# The Linux stand-ins for the Windows functions against the local test site
# and a real proxy: the transfer engine and its trust store, the WinINet
# functions, the request class and the request object as the kernel's
# object commands and DLL bindings reach them.
if(NOT WIN32)
  set(W ${R}/linux_winapi)
  tulora_test(winapi_test
    ${W}/body_buffer_test.cc ${W}/proxy_list_test.cc ${W}/trust_store_test.cc
    ${W}/url_parts_test.cc ${W}/cookie_jar_test.cc
    ${W}/curl_transfer_test.cc ${W}/wininet_test.cc ${W}/winhttp_test.cc
    ${W}/request_object_test.cc ${S}/tests/support/net_test_support.cc)
  target_link_libraries(winapi_test PRIVATE tulora_runtime_core tulora_testsite GTest::gmock)
endif()

# The launcher's units over a table of fake platform functions.
tulora_test(launcher_test ${S}/launcher/payload_test.cc ${S}/launcher/start_test.cc)
target_link_libraries(launcher_test PRIVATE tulora_launcher_core tulora_payload_writer)

# The build tools on real compiled objects and the program as built: the
# image format, the image linker and inspector, the payload inspector.
tulora_test(tools_test
  ${S}/image/image_format_test.cc
  ${S}/tools/imagelink/elf_object_test.cc ${S}/tools/imagelink/image_linker_test.cc
  ${S}/tools/imageinspect/image_report_test.cc
  ${S}/tools/payloadinspect/payload_report_test.cc ${S}/tools/pefile/pe_file_test.cc)
target_link_libraries(tools_test PRIVATE tulora_imagelink tulora_imageinspect tulora_payloadinspect
  tulora_payload_writer tulora_image_sample GTest::gmock)
target_compile_definitions(tools_test PRIVATE IMAGELINK_TESTDATA_DIR="${IMAGELINK_OUT}"
  TULORA_PROGRAM="${CMAKE_BINARY_DIR}/tulora")
add_dependencies(tools_test imagelink_testdata tulora_program)

# The local servers the other worlds talk to: the scripted test site and
# the demo gallery site.
tulora_test(sites_test ${S}/testsite/wire_test.cc ${S}/testsite/testsite_test.cc
  ${S}/demosite/gallery_site_test.cc)
target_link_libraries(sites_test PRIVATE tulora_demosite)

# The processes end to end: the assembled executables, the program against
# the local demo site, and the process support they run under. The demo
# site's ports are the ones the program was built with; each test process
# has a network of its own, so that they can run side by side.
add_executable(e2e_test ${S}/launcher/launcher_e2e_test.cc ${S}/crawler/crawler_e2e_test.cc
  ${S}/tests/support/process_test.cc)
target_link_libraries(e2e_test PRIVATE tulora_payload_writer tulora_demosite tulora_test_process
  GTest::gtest_main)
target_compile_definitions(e2e_test PRIVATE
  TULORA_RAW_LAUNCHER="$<TARGET_FILE:tulora-launcher>"
  TULORA_PROGRAM="${CMAKE_BINARY_DIR}/tulora"
  TULORA_PACED_PROGRAM="${paced_program_file}"
  TULORA_DIRECTORY_ID=${TULORA_DIRECTORY_ID}
  TULORA_IMAGE_FILE="${TULORA_IMAGE_FILE}"
  TULORA_GALLERY_URL="${TULORA_GALLERY_URL}"
  TULORA_PICTURE_URL="${TULORA_PICTURE_URL}"
  TESTKERNEL_RECORDING="$<TARGET_FILE:tulora_testkernel_recording>"
  TESTKERNEL_NOEXPORT="$<TARGET_FILE:tulora_testkernel_noexport>"
  TESTKERNEL_REFUSING="$<TARGET_FILE:tulora_testkernel_refusing>")
add_dependencies(e2e_test tulora_program tulora_paced_program tulora_testkernel_recording tulora_testkernel_noexport
  tulora_testkernel_refusing)
gtest_discover_tests(e2e_test DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
