# The adversarial harness: the real clean on fixture homes that change under it. statx and unlinkat are wrapped
# at link time so that the referee (harness/Referee.cpp) sees every look-up and deletion of the cleaner. The clean
# runs on a worker thread, cancelled now and then from the main one, which the ThreadSanitizer build watches.
quillon_test(harness_tests quillon_engine KIND harness harness/Referee.cpp harness/AdversarialTrialsTest.cpp)
target_link_options(harness_tests PRIVATE -Wl,--wrap=statx -Wl,--wrap=unlinkat)
# Alone: its churn of folders held open while they go would show in the answers of the real open-file query
# that other test programs ask.
set_tests_properties(harness_tests PROPERTIES RUN_SERIAL TRUE)
