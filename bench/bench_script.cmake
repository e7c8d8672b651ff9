# bench_script drives the script host, which lives under tools/script.
if(NOT TARGET tarvex_script_host)
  message(FATAL_ERROR "bench_script needs tarvex-script: install duktape-dev and keep TARVEX_TOOLS on")
endif()
target_link_libraries(${name} PRIVATE tarvex_script_host)
