# The browser edition in headless Chromium: built once (web_build), then its picture against
# the desktop demo's, the page's behaviour for every visitor and its sound.
nv_script_test(web_build ${CMAKE_CURRENT_SOURCE_DIR}/web/build.sh LABELS web TIMEOUT 1200)
set_tests_properties(web_build PROPERTIES FIXTURES_SETUP web_site)
foreach(name picture page sound delivery)
  nv_script_test(web_${name} ${CMAKE_CURRENT_SOURCE_DIR}/web/${name}.sh LABELS web TIMEOUT 600)
  set_tests_properties(web_${name} PROPERTIES FIXTURES_REQUIRED web_site)
endforeach()
