// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

// A private, empty working directory for each test: the store reads and writes files
// relative to the working directory.
class TempDirTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/mvcfg.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
        char cwd[4096];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        m_oldCwd = cwd;
        ASSERT_EQ(chdir(m_dir.c_str()), 0);
    }
    void TearDown() override
    {
        ASSERT_EQ(chdir(m_oldCwd.c_str()), 0);
        std::string cmd = "chmod -R u+w '" + m_dir + "' && rm -rf '" + m_dir + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }

    std::string m_dir;

private:
    std::string m_oldCwd;
};

inline std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}
