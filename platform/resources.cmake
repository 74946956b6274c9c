# zelmo_add_resources(TARGET FOLDER FUNCTION): embeds every file of FOLDER
# (README.md aside) into TARGET; the program gets them from
# std::span<const ce::ResourceFile> FUNCTION() and hands them to
# ce::SetProgramResources.
set(ZELMO_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/embed_resources.cmake)

function(zelmo_add_resources target folder function)
  file(GLOB_RECURSE files CONFIGURE_DEPENDS RELATIVE ${folder} ${folder}/*)
  list(FILTER files EXCLUDE REGEX "(^|/)README\\.md$")
  list(SORT files)
  set(inputs)
  foreach(f IN LISTS files)
    list(APPEND inputs ${folder}/${f})
  endforeach()
  string(REPLACE ";" "|" joined "${files}")
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_${function}.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DFOLDER=${folder} -DOUT=${out} -DFUNCTION=${function}
            -DFILES=${joined} -P ${ZELMO_EMBED_SCRIPT}
    DEPENDS ${inputs} ${ZELMO_EMBED_SCRIPT}
    COMMENT "Embedding the resources of ${folder}"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()
