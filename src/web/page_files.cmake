# The page of the web view, built into the program: its own files from web/ and the chart
# library installed there by scripts/setup.sh (npm), turned into a source at build time.
set(web_page_dir ${PROJECT_SOURCE_DIR}/web)
set(web_uplot_dir ${web_page_dir}/node_modules/uplot/dist)
set(web_page_files
    "/index.html=${web_page_dir}/index.html=html"
    "/app.js=${web_page_dir}/app.js=js"
    "/param_table.js=${web_page_dir}/param_table.js=js"
    "/style.css=${web_page_dir}/style.css=css"
    "/depth.html=${web_page_dir}/depth.html=html"
    "/depth.js=${web_page_dir}/depth.js=js"
    "/depth.css=${web_page_dir}/depth.css=css")
set(web_page_inputs ${web_page_dir}/index.html ${web_page_dir}/app.js ${web_page_dir}/style.css
    ${web_page_dir}/param_table.js ${web_page_dir}/depth.html ${web_page_dir}/depth.js
    ${web_page_dir}/depth.css)
if(EXISTS ${web_uplot_dir}/uPlot.iife.min.js)
  list(APPEND web_page_files "/uplot.js=${web_uplot_dir}/uPlot.iife.min.js=js"
       "/uplot.css=${web_uplot_dir}/uPlot.min.css=css")
  list(APPEND web_page_inputs ${web_uplot_dir}/uPlot.iife.min.js ${web_uplot_dir}/uPlot.min.css)
else()
  message(WARNING "web/node_modules has no uPlot: the web view will show no charts. "
                  "Run scripts/setup.sh, then configure again.")
  list(APPEND web_page_files "/uplot.js=${web_page_dir}/no_charts.js=js")
  list(APPEND web_page_inputs ${web_page_dir}/no_charts.js)
endif()
string(REPLACE ";" "|" web_page_files_arg "${web_page_files}")
set(web_page_source ${CMAKE_CURRENT_BINARY_DIR}/generated/web_page_files.cpp)
add_custom_command(
  OUTPUT ${web_page_source}
  COMMAND ${CMAKE_COMMAND} -DOUT=${web_page_source} "-DFILES=${web_page_files_arg}"
          -DNAMESPACE=web -DFUNCTION=page_files -P ${PROJECT_SOURCE_DIR}/cmake/embed_files.cmake
  DEPENDS ${web_page_inputs} ${PROJECT_SOURCE_DIR}/cmake/embed_files.cmake
  COMMENT "Building the web page into the program"
  VERBATIM)
target_sources(rigcore_web PRIVATE ${web_page_source})
