// The common frame of the tools.
#pragma once
