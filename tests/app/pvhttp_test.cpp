// The update check's GET against a local server: body, status, the size cap, refused ports.
#include <gtest/gtest.h>

#include "app/desktop/pvHttp.h"
#include "apptest.h"
#include "httpserver.h"

using namespace pvtest;

TEST(PvHttp, GetsBodiesWithinTheCapOnly) {
    HttpServer srv;
    ASSERT_GT(srv.port, 0) << "the HTTP server did not start";
    writeFile(srv.root / "update.txt", "161");
    writeBytes(srv.root / "big.bin", randomBytes(70000, 3));

    auto ok = HttpGet(srv.url("update.txt"));
    EXPECT_TRUE(ok.ok) << ok.error;
    EXPECT_EQ(ok.status, 200);
    EXPECT_EQ(ok.body, "161");

    auto missing = HttpGet(srv.url("nothing.txt"));
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.status, 404);

    auto big = HttpGet(srv.url("big.bin"));
    EXPECT_FALSE(big.ok);
    EXPECT_EQ(big.body, "");
    EXPECT_EQ(big.error, "The answer was larger than 65536 bytes.");

    EXPECT_FALSE(HttpGet("file:///etc/passwd").ok);
    EXPECT_FALSE(HttpGet("http://127.0.0.1:1/update.txt", 2000).ok);
}
