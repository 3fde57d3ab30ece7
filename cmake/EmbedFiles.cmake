# quaverly_embed_files(OUT_SOURCE NAME BASE_DIR FILE...)
# Generates OUT_SOURCE, a C++ file that defines, at namespace scope,
#   extern const std::size_t NAME_count;
#   extern const char* const NAME_paths[];          // relative to BASE_DIR, '/' separated
#   extern const unsigned char* const NAME_data[];
#   extern const std::size_t NAME_sizes[];
# It is regenerated when one of the files changes.
set(QUAVERLY_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/embed-files.cmake)

function(quaverly_embed_files out_source name base_dir)
  add_custom_command(
    OUTPUT ${out_source}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out_source} -DNAME=${name} -DBASE=${base_dir}
            "-DFILES=${ARGN}" -P ${QUAVERLY_EMBED_SCRIPT}
    DEPENDS ${ARGN} ${QUAVERLY_EMBED_SCRIPT}
    COMMENT "Embedding ${name}"
    VERBATIM)
endfunction()
