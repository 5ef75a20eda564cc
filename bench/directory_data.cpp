#include "bench/directory_data.h"

#include "store/directory_store.h"
#include "text/gbk.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <random>

using namespace Qt::StringLiterals;

namespace telvane::bench {

namespace {

QList<QString> characters(const QString& all)
{
    QList<QString> out;
    for (const QChar c : all) {
        out << QString(c);
    }
    return out;
}

const QList<QString> kSurnames = characters(
    u"王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗郑梁谢宋唐许韩冯邓曹彭曾肖田董袁潘于蒋蔡余杜叶程苏魏吕丁任沈姚卢"
    "姜崔钟谭陆汪范金石廖贾夏韦付方白邹孟熊秦邱江尹薛闫段雷侯龙史陶黎贺顾毛郝龚邵万钱严覃武戴莫孔向汤常温康施"
    "文牛樊葛邢安齐易乔伍庞颜倪庄聂章鲁岳翟殷詹申欧耿关兰焦俞左柳甘祝包宁尚符舒阮柯纪梅童凌毕单季裴霍涂成苗谷"
    "盛曲翁冉骆蓝路游辛靳管柴蒙鲍华喻祁蒲房滕屈饶解牟艾尤阳时穆农司卓古吉缪简车项连芦麦褚娄窦戚岑景党宫费卜冷"
    "晏席卫米柏宗瞿桂全佟应臧闵苟邬边卞姬师和仇栾隋商刁沙荣巫寇桑郎甄丛仲虞敖巩明佘池查麻苑迟邝"_s);
const QList<QString> kGiven =
    characters(u"伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超兰霞平刚桂华玉萍红娥玲芬建国文辉力鹏志宇浩然子轩梓涵一诺欣怡晨阳"
               "佳琪思雨嘉豪俊天博睿泽宏晓春雪梅海波飞云峰鑫斌宁慧琳婷颖瑞丹凤丽琴倩雯燕桂兰金龙德民永红亮新光荣福贵生"
               "安恩尔晟彬瑶璐菲洁薇淑秋月珍晶莉雅婧悦蕾琦旭东振宇成林东升志强永刚晓明建华国强立新"_s);
const QList<QString> kCities = {u"北京"_s, u"上海"_s,   u"广州"_s, u"深圳"_s, u"天津"_s,   u"重庆"_s, u"成都"_s,
                                u"武汉"_s, u"杭州"_s,   u"南京"_s, u"西安"_s, u"长沙"_s,   u"郑州"_s, u"济南"_s,
                                u"沈阳"_s, u"哈尔滨"_s, u"昆明"_s, u"南宁"_s, u"福州"_s,   u"厦门"_s, u"苏州"_s,
                                u"青岛"_s, u"大连"_s,   u"宁波"_s, u"合肥"_s, u"石家庄"_s, u"太原"_s, u"南昌"_s};
const QList<QString> kTrades = {u"电力"_s, u"科技"_s,   u"建设"_s, u"贸易"_s, u"物流"_s, u"通信"_s,    u"网络"_s,
                                u"医药"_s, u"机械"_s,   u"化工"_s, u"纺织"_s, u"食品"_s, u"教育"_s,    u"软件"_s,
                                u"信息"_s, u"房地产"_s, u"汽车"_s, u"环保"_s, u"能源"_s, u"文化传媒"_s};
const QList<QString> kKinds = {u"有限公司"_s, u"股份有限公司"_s, u"集团"_s,   u"研究所"_s, u"第一人民医院"_s,
                               u"中学"_s,     u"大学"_s,         u"市局"_s,   u"办事处"_s, u"分公司"_s,
                               u"银行支行"_s, u"派出所"_s,       u"街道办"_s, u"出版社"_s, u"电视台"_s,
                               u"设计院"_s,   u"服务中心"_s,     u"管理处"_s};
const QList<QString> kRemarks = {u"老同学"_s, u"客户"_s, u"供应商"_s, u"财务"_s, u"销售经理"_s, u"总经理"_s,
                                 u"同事"_s,   u"邻居"_s, u"亲戚"_s,   u"司机"_s, u"医生"_s,     u"老师"_s,
                                 u"物业"_s,   u"维修"_s, u"快递"_s,   u"律师"_s};

class Maker
{
public:
    explicit Maker(unsigned seed)
        : m_random(seed)
    { }
    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_random); }
    const QString& pick(const QList<QString>& from) { return from[uniform(0, static_cast<int>(from.size()) - 1)]; }
    QString digits(int count)
    {
        QString s;
        for (int i = 0; i < count; ++i) {
            s += QChar(u'0' + uniform(0, 9));
        }
        return s;
    }

    store::RecordTexts next()
    {
        store::RecordTexts r;
        r[store::kName] = pick(kSurnames);
        for (int c = uniform(0, 99) < 70 ? 2 : 1; c > 0; --c) {
            r[store::kName] += pick(kGiven);
        }
        r[store::kUnit] = pick(kCities) + pick(kTrades) + pick(kKinds);
        if (uniform(0, 99) < 45) {
            r[store::kRemark] = pick(kRemarks);
            if (uniform(0, 2) == 0) {
                r[store::kRemark] += u" VIP"_s + digits(uniform(1, 3));
            }
        }
        if (uniform(0, 99) < 55) {
            r[store::kOffice] = u"0"_s + digits(2) + digits(uniform(7, 8));
        }
        if (uniform(0, 99) < 30) {
            r[store::kHome] = u"0"_s + digits(2) + digits(uniform(7, 8));
        }
        if (uniform(0, 99) < 95) {
            static const char* const prefixes[] = {"13", "15", "18", "17", "19", "14"};
            r[store::kMobile] = QString::fromLatin1(prefixes[uniform(0, 5)]) + digits(9);
        }
        if (uniform(0, 99) < 8) {
            r[store::kPhs] = u"0"_s + digits(2) + digits(8);
        }
        return r;
    }

private:
    std::mt19937 m_random;
};

} // namespace

std::vector<store::Record> directoryRecords(int count, unsigned seed)
{
    Maker maker(seed);
    std::vector<store::Record> records;
    records.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const store::RecordTexts texts = maker.next();
        store::Record r;
        for (std::size_t f = 0; f < store::kFieldCount; ++f) {
            r[f] = text::toGbk(texts[f]);
        }
        records.push_back(std::move(r));
    }
    return records;
}

QByteArray directoryTsv(int count, unsigned seed)
{
    Maker maker(seed);
    QByteArray out;
    out.reserve(static_cast<qsizetype>(count) * 80);
    for (int i = 0; i < count; ++i) {
        const store::RecordTexts texts = maker.next();
        for (std::size_t f = 0; f < store::kFieldCount; ++f) {
            if (f) {
                out += '\t';
            }
            out += texts[f].toUtf8();
        }
        out += '\n';
    }
    return out;
}

QString directoryStore(int count)
{
    const QString folder = QCoreApplication::applicationDirPath() + u"/bench-data/%1"_s.arg(count);
    QDir().mkpath(folder);
    const QString path = folder + u"/DHB.EDB"_s;
    if (store::inspect(path) == store::FileState::Store) {
        return path;
    }
    QFile::remove(path);
    const std::vector<store::Record> records = directoryRecords(count);
    store::DirectoryStore s;
    if (!store::DirectoryStore::create(path) || !s.open(path) || !s.appendMany(records)) {
        return {};
    }
    return path;
}

} // namespace telvane::bench
