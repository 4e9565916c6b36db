# The help document of each language, "ZORQ" + code + ".html", laid beside
# the language bundle in the program folder and installed with it. The
# source is the HTML file of the same name in this folder.
set(help_src ${PROJECT_SOURCE_DIR}/resources/help)
file(GLOB help_sources CONFIGURE_DEPENDS ${help_src}/ZORQ*.html)
set(help_outputs)
foreach(src IN LISTS help_sources)
  get_filename_component(name ${src} NAME)
  add_custom_command(
    OUTPUT ${ZORQ_PROGRAM_DIR}/${name}
    COMMAND ${CMAKE_COMMAND} -E copy ${src} ${ZORQ_PROGRAM_DIR}/${name}
    DEPENDS ${src}
    COMMENT "Laying out the help document ${name}")
  list(APPEND help_outputs ${ZORQ_PROGRAM_DIR}/${name})
endforeach()
add_custom_target(zorq_help ALL DEPENDS ${help_outputs})
add_dependencies(app zorq_help)
install(FILES ${help_outputs} DESTINATION ${ZORQ_INSTALL_DIR})
