# Run by cpack on its staging folder before it packs, after the programs were stripped: with a
# code-signing certificate in the environment (see sign.sh), signs every program in the folder:
# each generator has its own, so the zip and the installer both carry signed programs. Without a
# certificate it does nothing.

if(NOT CPACK_QD7310_SIGNED)
    return()
endif()
file(GLOB programs "${CPACK_TEMPORARY_DIRECTORY}/*.exe")
execute_process(COMMAND "${CPACK_QD7310_SIGN}" ${CPACK_QD7310_SIGN_DESCRIBED} ${programs}
                RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "the programs were not signed, so nothing is packed")
endif()
list(LENGTH programs count)
message(STATUS "signed ${count} programs")
