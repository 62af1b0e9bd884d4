#include "Office.h"

#include "StartUp.h"

namespace varnel::test {

Office::Office() {
    started = StartUp(app);
}

} // namespace varnel::test
