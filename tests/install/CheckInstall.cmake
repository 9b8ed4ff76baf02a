# Installs the build into a fresh prefix and checks what a user gets: the executables, the
# documents and the examples, a driver that answers a ping, an MCP server that answers
# initialize, and a scenario tool that finds the installed examples clean.
# Run as: cmake -DBUILD_DIR=<build> -DPREFIX=<empty directory> -DDOCDIR=<rel> -DDATADIR=<rel> -P CheckInstall.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()

set(expected
  bin/dorvex bin/dorvex-mcp bin/dorvex-scenario
  ${DOCDIR}/README.md ${DOCDIR}/architecture.md ${DOCDIR}/mcp.md ${DOCDIR}/simulated-desktop.md
  ${DATADIR}/dorvex/examples/session.jsonl
  ${DATADIR}/dorvex/examples/scenarios/default.json
  ${DATADIR}/dorvex/examples/scenarios/pictures.json
  ${DATADIR}/dorvex/examples/scenarios/pictures/wallpaper.png
  ${DATADIR}/dorvex/examples/bundles/TextEdit.app/Contents/Info.plist)
foreach(file ${expected})
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

function(run_with_input name input)
  file(WRITE ${PREFIX}/${name}.in "${input}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env DORVEX_PLATFORM=sim TMPDIR=${PREFIX} ${ARGN}
    INPUT_FILE ${PREFIX}/${name}.in OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
  set(${name}_out "${out}" PARENT_SCOPE)
  set(${name}_status "${status}" PARENT_SCOPE)
endfunction()

run_with_input(ping "{\"jsonrpc\":\"2.0\",\"id\":\"1\",\"method\":\"system.ping\"}\n" ${PREFIX}/bin/dorvex)
if(NOT ping_status EQUAL 0 OR NOT ping_out MATCHES "\"id\":\"1\",\"result\":")
  message(FATAL_ERROR "the installed driver did not answer the ping: ${ping_out}")
endif()
run_with_input(mcp "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"initialize\",\"params\":{\"protocolVersion\":\"2025-06-18\"}}\n"
  ${PREFIX}/bin/dorvex-mcp)
if(NOT mcp_status EQUAL 0 OR NOT mcp_out MATCHES "\"protocolVersion\":\"2025-06-18\"")
  message(FATAL_ERROR "the installed MCP server did not answer initialize: ${mcp_out}")
endif()
run_with_input(check "" ${PREFIX}/bin/dorvex-scenario check
  ${PREFIX}/${DATADIR}/dorvex/examples/scenarios/pictures.json)
if(NOT check_status EQUAL 0)
  message(FATAL_ERROR "the installed pictures example does not check clean: ${check_out}")
endif()
