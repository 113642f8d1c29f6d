#include "app/form1.h"

void Form1::cx_Click() {}
void Form1::List1_DblClick() {}
void Form1::csh()
{
    clearPageSlots(PageParts);
}
