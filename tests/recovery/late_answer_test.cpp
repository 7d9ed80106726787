// A page answer that comes too late for its own frame must not be taken for a later frame's:
// otherwise every answer after it is read one frame behind, and a page the bootloader refuses
// passes as taken while the unit's flash keeps the old bytes. The soak found this with the
// simulated unit's late answers; here the in-memory unit replays it exactly.

#include "flash/flash_bench.h"

namespace ondo::testing {
namespace {

class LateAnswer : public FlashBench {};

TEST_F(LateAnswer, IsDroppedSoARefusedPageIsSentAgain) {
    unit.pageAnswer = [this](int page, int attempt) -> unsigned char {
        // A "!" from an earlier frame lands just before page 4's own answer.
        if (page == 4 && attempt == 0) serial.deliver("!");
        if (page == 5 && attempt == 0) return '@';
        return '!';
    };
    run();
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::Complete);
    EXPECT_EQ(unit.frameCount[5], 3);  // refused, taken on the retry, taken again on a new round
    EXPECT_EQ(statusCount("Programming failed on page 5"), 1);
    for (int a = 5 * 64; a < 6 * 64; ++a) {
        ASSERT_EQ(unit.flash[static_cast<std::size_t>(a)],
                  image.FlashImage[static_cast<std::size_t>(a)])
            << "flash address " << a;
    }
}

TEST_F(LateAnswer, SeveralLateBytesAreAllDropped) {
    unit.pageAnswer = [this](int page, int attempt) -> unsigned char {
        if (page == 10 && attempt == 0) serial.deliver("!!@");
        if (page == 11 && attempt == 0) return '@';
        return '!';
    };
    run();
    EXPECT_EQ(seq.lastOutcome(), RunOutcome::Complete);
    EXPECT_EQ(unit.frameCount[11], 3);
    EXPECT_EQ(unit.frameCount[12], 1);  // no frame is sent twice for an answer meant for another
}

}  // namespace
}  // namespace ondo::testing
