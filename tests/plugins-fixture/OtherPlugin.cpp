// A valid Qt plug-in that offers some other interface: the host must skip it.
#include <QObject>
#include <QtPlugin>

class FixtureOtherInterface
{
public:
    virtual ~FixtureOtherInterface() = default;
    virtual int answer() const = 0;
};
#define FixtureOtherInterface_iid "org.vxtools.test.OtherInterface"
Q_DECLARE_INTERFACE(FixtureOtherInterface, FixtureOtherInterface_iid)

class FixtureOtherPlugin : public QObject, public FixtureOtherInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID FixtureOtherInterface_iid)
    Q_INTERFACES(FixtureOtherInterface)

public:
    int answer() const override { return 42; }
};

#include "OtherPlugin.moc"
