#pragma once

// The help, made from the verb records, on standard error as dispctl's.
void printProfileHelp();
