# Runs remark on README.md and docs/ with remark-validate-links (both in
# MODULES, the tree's node_modules): a link to a file that does not exist, or
# to a heading that a document does not have, is a warning, and --frail
# fails the run on any warning. A checker that is not installed fails too.
set(remark "${MODULES}/.bin/remark")
set(plugin "${MODULES}/remark-validate-links/index.js")
if(NOT EXISTS "${remark}" OR NOT EXISTS "${plugin}")
  message(FATAL_ERROR "the link checker is not installed in ${MODULES}: tools/setup.sh docs installs it")
endif()
# --no-config: no .remarkrc of anyone's is read. The plugin is named by its
# path, since remark looks for plugins beside the documents. repository:false:
# links are checked among the files, with no hosting site's URLs guessed
# from git.
execute_process(
  COMMAND "${remark}" --no-config --no-color --frail --quiet --no-stdout
    --use "${plugin}=repository:false" README.md docs
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "broken links or anchors (remark-validate-links, above), or the checker failed")
endif()
