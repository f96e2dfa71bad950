# Script mode: makes one compressed document of the package.
#   -DIN=source -DOUT=target.gz [-DSCDOC=scdoc] -DEPOCH=seconds
# With SCDOC the source is a manual page written for scdoc. The page's date
# and the gzip header carry the release's time, not the build's, so the same
# sources make the same package.
set(ENV{SOURCE_DATE_EPOCH} ${EPOCH})
string(REGEX REPLACE "\\.gz$" "" plain "${OUT}")
if(SCDOC)
    execute_process(COMMAND ${SCDOC} INPUT_FILE ${IN} OUTPUT_FILE ${plain} COMMAND_ERROR_IS_FATAL ANY)
else()
    configure_file(${IN} ${plain} COPYONLY)
endif()
execute_process(COMMAND gzip -9n -c ${plain} OUTPUT_FILE ${OUT} COMMAND_ERROR_IS_FATAL ANY)
