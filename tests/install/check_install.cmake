# Installs the build into a scratch prefix and builds a host program against the installed
# package: the exported targets, their dependencies and the public headers must suffice, every
# installed header must compile in it, and nothing beyond the public API may be installed.
#   cmake -DBUILD=<build tree> -DSOURCE=<consumer source> -DSCRATCH=<folder> -DFLAGS=<cxx flags>
#         -DCXX=<compiler> -P check_install.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${SCRATCH})
set(prefix ${SCRATCH}/prefix)

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    file(REMOVE_RECURSE ${SCRATCH})
    message(FATAL_ERROR "install check: ${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

# What a host builds with: the development files and the shared library. (The program's
# component also installs the service unit to /lib/systemd/system, outside any prefix.)
run("installing the development files" ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix}
    --component development)
run("installing the library" ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix}
    --component library)
# Only the public API: no header of a layer the library leaves out, none only the library's
# own code includes.
file(GLOB_RECURSE private RELATIVE ${prefix}/include/rigcore ${prefix}/include/rigcore/web/*
     ${prefix}/include/rigcore/office/* ${prefix}/include/rigcore/hardware/sim/*
     ${prefix}/include/rigcore/hardware/port_search/*)
if(private)
  file(REMOVE_RECURSE ${SCRATCH})
  message(FATAL_ERROR "install check: headers outside the public API were installed: ${private}")
endif()
if(NOT EXISTS ${prefix}/include/rigcore/core/system.h)
  file(REMOVE_RECURSE ${SCRATCH})
  message(FATAL_ERROR "install check: the hub's header was not installed")
endif()
run("configuring the host program" ${CMAKE_COMMAND} -S ${SOURCE} -B ${SCRATCH}/build -G Ninja
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} "-DCMAKE_CXX_FLAGS=${FLAGS}"
    "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}")
run("building the host program" ${CMAKE_COMMAND} --build ${SCRATCH}/build)
file(MAKE_DIRECTORY ${SCRATCH}/home)
run("running the host program" ${SCRATCH}/build/consumer ${SCRATCH}/home/)
file(REMOVE_RECURSE ${SCRATCH})
message(STATUS "install check: ${last_output}")
