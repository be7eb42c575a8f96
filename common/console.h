// The tools' console: overwrite question and final report.
#pragma once
