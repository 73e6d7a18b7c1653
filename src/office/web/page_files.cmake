# The office view's pages, built into the program: its own files from web/office/, with the
# stylesheet, the parameter table's script and the chart library of the web view
# (src/web/page_files.cmake).
set(office_page_dir ${PROJECT_SOURCE_DIR}/web/office)
set(office_page_files
    "/index.html=${office_page_dir}/index.html=html"
    "/rig.html=${office_page_dir}/rig.html=html"
    "/users.html=${office_page_dir}/users.html=html"
    "/office.js=${office_page_dir}/office.js=js"
    "/fleet.js=${office_page_dir}/fleet.js=js"
    "/rig.js=${office_page_dir}/rig.js=js"
    "/users.js=${office_page_dir}/users.js=js"
    "/office.css=${office_page_dir}/office.css=css"
    "/style.css=${web_page_dir}/style.css=css"
    "/param_table.js=${web_page_dir}/param_table.js=js")
set(office_page_inputs)
foreach(entry IN LISTS office_page_files)
  string(REPLACE "=" ";" parts "${entry}")
  list(GET parts 1 path)
  list(APPEND office_page_inputs ${path})
endforeach()
# The chart library as the web view has it (or its stand-in when npm has not installed it).
foreach(entry IN LISTS web_page_files)
  if(entry MATCHES "^/uplot\\.")
    list(APPEND office_page_files "${entry}")
    string(REPLACE "=" ";" parts "${entry}")
    list(GET parts 1 path)
    list(APPEND office_page_inputs ${path})
  endif()
endforeach()
string(REPLACE ";" "|" office_page_files_arg "${office_page_files}")
set(office_page_source ${CMAKE_CURRENT_BINARY_DIR}/generated/office_page_files.cpp)
add_custom_command(
  OUTPUT ${office_page_source}
  COMMAND ${CMAKE_COMMAND} -DOUT=${office_page_source} "-DFILES=${office_page_files_arg}"
          -DNAMESPACE=office::view -DFUNCTION=office_page_files
          -P ${PROJECT_SOURCE_DIR}/cmake/embed_files.cmake
  DEPENDS ${office_page_inputs} ${PROJECT_SOURCE_DIR}/cmake/embed_files.cmake
  COMMENT "Building the office view's pages into the program"
  VERBATIM)
target_sources(rigcore_office_web PRIVATE ${office_page_source})
