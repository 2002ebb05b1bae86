# The adversarial harness: the real clean on fixture homes while the test
# keeps changing them. Its status, open and unlink calls are wrapped at link
# time so that the referee (harness/Referee.cpp) sees every look-up and
# deletion the cleaner makes. Also built with ThreadSanitizer: the clean runs
# on a worker thread and is cancelled from the main one.
quillon_test(harness_tests quillon_engine KIND harness
    harness/Referee.cpp
    harness/Adversary.cpp
    harness/AdversarialTrialsTest.cpp)
target_link_options(harness_tests PRIVATE -Wl,--wrap=statx -Wl,--wrap=openat -Wl,--wrap=unlinkat)
