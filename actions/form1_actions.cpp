#include "app/form1.h"

void Form1::Command5_Click() {}
void Form1::fz_Click() {}
void Form1::ydym_Click() {}
