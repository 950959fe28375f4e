// Capacity rules, index errors and search of the chunked string builder.
#include "json/cStringBuilder.h"

#include <gtest/gtest.h>

#include <string>

using json::cStringBuilder;
using json::ErrorIndice;
using json::ModoComparacion;

TEST(cStringBuilder, CapacityGrowsByWholeChunks) {
    cStringBuilder sb;
    EXPECT_EQ(sb.Length(), 0u);
    EXPECT_EQ(sb.Capacity(), 0u);
    EXPECT_EQ(sb.ChunkSize(), 8192u);
    EXPECT_EQ(sb.toString(), "");

    sb.Append("x");
    EXPECT_EQ(sb.Capacity(), 8192u);
    sb.Append(std::string(8191, 'y'));
    EXPECT_EQ(sb.Capacity(), 8192u);
    sb.Append("z");
    EXPECT_EQ(sb.Capacity(), 16384u);
    EXPECT_EQ(sb.Length(), 8193u);

    cStringBuilder grande;
    grande.Append(std::string(10000, 'a'));
    EXPECT_EQ(grande.Capacity(), 16384u);
    grande.Append("");
    EXPECT_EQ(grande.Length(), 10000u);

    // Trim back to the whole chunks the text needs, plus at most one spare.
    grande.Remove(100, 9900);
    grande.HeapMinimize();
    EXPECT_EQ(grande.Capacity(), 8192u);
    EXPECT_EQ(grande.toString(), std::string(100, 'a'));

    grande.Clear();
    EXPECT_EQ(grande.Capacity(), 0u);
    EXPECT_EQ(grande.Length(), 0u);

    cStringBuilder paso;
    paso.ChunkSize(100);
    paso.Append(std::string(250, 'b'));
    EXPECT_EQ(paso.Capacity(), 300u);
    paso.ChunkSize(0);  // taken as 1: growth must still terminate
    paso.Append(std::string(60, 'c'));
    EXPECT_EQ(paso.Capacity(), 310u);

    cStringBuilder t;
    t.TheString(std::string(9000, 'q'));
    EXPECT_EQ(t.Capacity(), 16384u);
    EXPECT_EQ(t.Length(), 9000u);
    t.TheString("");
    EXPECT_EQ(t.Capacity(), 0u);
    EXPECT_EQ(t.toString(), "");
}

TEST(cStringBuilder, InsertAndRemoveCheckTheirRange) {
    cStringBuilder sb;
    sb.AppendNL("ab");
    EXPECT_EQ(sb.toString(), "ab\r\n");
    EXPECT_EQ(sb.Length(), 4u);

    sb.Insert(4, "!");
    sb.InsertByVal(0, ">");
    sb.Insert(2, "-");
    EXPECT_EQ(sb.toString(), ">a-b\r\n!");
    try {
        sb.Insert(sb.Length() + 1, "x");
        FAIL() << "no error";
    } catch (const ErrorIndice& e) {
        EXPECT_EQ(e.numero(), 9);
    }
    EXPECT_EQ(sb.toString(), ">a-b\r\n!");

    sb.Remove(sb.Length() - 1, 1);
    EXPECT_EQ(sb.toString(), ">a-b\r\n");
    EXPECT_THROW(sb.Remove(sb.Length() - 1, 2), ErrorIndice);
    EXPECT_THROW(sb.Remove(sb.Length() + 1, 0), ErrorIndice);
    EXPECT_THROW(sb.Remove(1, static_cast<size_t>(-1)), ErrorIndice);  // no wrap-around
    EXPECT_EQ(sb.toString(), ">a-b\r\n");
    sb.Remove(0, 2);
    EXPECT_EQ(sb.toString(), "-b\r\n");
}

TEST(cStringBuilder, FindIsOneBasedWithOptionalCaseFolding) {
    cStringBuilder sb;
    sb.Append("El Ñandú y el ñandú");
    EXPECT_EQ(sb.Find("el"), 14u);
    EXPECT_EQ(sb.Find("el", 1, ModoComparacion::Texto), 1u);
    EXPECT_EQ(sb.Find("el", 2, ModoComparacion::Texto), 14u);
    EXPECT_EQ(sb.Find("el", -5), 14u);
    EXPECT_EQ(sb.Find("ñandú"), 17u);
    EXPECT_EQ(sb.Find("ñandú", 1, ModoComparacion::Texto), 4u);
    EXPECT_EQ(sb.Find("ÑANDÚ", 5, ModoComparacion::Texto), 17u);
    EXPECT_EQ(sb.Find("zz"), 0u);
    EXPECT_EQ(sb.Find("ú", 100), 0u);
    // An occurrence must lie wholly inside the built text, not in spare room.
    sb.Remove(sb.Length() - 1, 1);
    EXPECT_EQ(sb.Find("ñandú"), 0u);
}
