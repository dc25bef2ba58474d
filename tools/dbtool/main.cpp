#include "dbtool.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    DbTool tool;
    return tool.run(app.arguments().mid(1));
}
