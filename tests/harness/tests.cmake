# The adversarial harness: the real clean on fixture homes while another
# thread keeps changing them. Its status, open and unlink calls are wrapped
# at link time so that the referee (harness/Referee.cpp) sees every look-up
# and deletion the cleaner makes.
quillon_test(harness_tests quillon_engine KIND harness SLOW
    harness/TreeScan.cpp
    harness/Referee.cpp
    harness/TrialTree.cpp
    harness/Rules.cpp
    harness/Holder.cpp
    harness/Adversary.cpp
    harness/TrialRun.cpp
    harness/HarnessSelfCheckTest.cpp
    harness/PreviewAgreementTest.cpp
    harness/AdversarialTrialsTest.cpp)
target_link_options(harness_tests PRIVATE -Wl,--wrap=statx -Wl,--wrap=openat -Wl,--wrap=unlinkat)
# Alone: its constant churn of fixture folders (held open while they go)
# would otherwise show up in the open-file answers of other test programs.
set_tests_properties(harness_tests PROPERTIES RUN_SERIAL TRUE)

# A clean on a worker thread, cancelled from the main thread; meant to be
# run under ThreadSanitizer as well (-DQUILLON_TSAN=ON).
quillon_test(harness_cancel_tests quillon_engine KIND harness
    harness/CancelFromThreadTest.cpp)
