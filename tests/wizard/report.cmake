# The report written by the native tests, checked in real HTML parsers
# (html5lib, and headless Chromium when installed; its screenshot lands in
# report/sample.png).
if(TARGET ${exe} AND KELVARIN_NATIVE)
  find_program(KV_CHROMIUM NAMES chromium chromium-browser)
  if(NOT KV_CHROMIUM)
    set(KV_CHROMIUM "")
  endif()
  set_tests_properties(${exe} PROPERTIES FIXTURES_SETUP wizard_report_sample)
  add_test(NAME wizard_report_parsers
           COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/wizard/check_report.py
                   ${PROJECT_BINARY_DIR}/report ${KV_CHROMIUM})
  set_tests_properties(wizard_report_parsers PROPERTIES FIXTURES_REQUIRED wizard_report_sample
                       PASS_REGULAR_EXPRESSION "^ok\n$" TIMEOUT 300)
endif()
