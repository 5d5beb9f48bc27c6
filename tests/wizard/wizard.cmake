# The wizard's tests start the program itself and use the GUI tests' helpers.
if(TARGET ${exe} AND NOT KELVARIN_NATIVE)
  add_dependencies(${exe} kelvarin)
endif()

# ImageMagick's identify reads the tip pictures as the program's decoder does.
find_program(KV_IDENTIFY identify)
if(KV_IDENTIFY AND NOT KELVARIN_NATIVE)
  add_test(NAME wizard_tip_pictures_identify
           COMMAND ${KV_IDENTIFY} -format "%m %wx%h\n" ${PROJECT_SOURCE_DIR}/data/Brisquel.jpg
                   ${PROJECT_SOURCE_DIR}/data/EmptyTags.jpg)
  set_tests_properties(wizard_tip_pictures_identify PROPERTIES
    PASS_REGULAR_EXPRESSION "^JPEG 400x250\nJPEG 400x250\n$")
endif()
